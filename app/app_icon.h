#pragma once
// The application icon, drawn in code so the window, the About box and the
// installed hicolor PNGs all come from one picture.

#include <QIcon>
#include <QImage>

// The picture at `size` x `size` pixels (drawn for 16 and 32).
QImage drawAppIcon(int size);

// The icon with its 16 and 32 pixel images.
QIcon appIcon();
