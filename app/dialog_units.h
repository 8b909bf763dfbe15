#pragma once
// Dialog-unit geometry: the window's layout is kept in the units of its
// dialog templates and mapped to pixels with the dialog font's own base units,
// the way the dialog manager maps a template.

#include <QFont>
#include <QRect>

struct DialogBaseUnits {
    int x = 0;  // average character width in pixels
    int y = 0;  // character height in pixels
};

// The template font: 9 point IPA P Gothic, Debian's stand-in for MS P Gothic.
QFont dialogFont();

// Base units of `font`: the average width of A-Z and a-z (rounded) and the
// font height.
DialogBaseUnits dialogBaseUnits(const QFont& font);

// Maps a rectangle in dialog units to pixels: x * baseX / 4, y * baseY / 8,
// rounded to nearest like the dialog manager's MulDiv.
QRect mapDialogRect(const QRect& units, DialogBaseUnits base);
