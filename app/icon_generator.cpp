// Build-time tool: writes the application icon as the hicolor PNGs that are
// installed beside the .desktop file. Usage: travik_icongen SIZE OUT.png
#include "app_icon.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: travik_icongen SIZE OUT.png\n", stderr);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int size = std::atoi(argv[1]);
    if (size <= 0 || !drawAppIcon(size).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "travik_icongen: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
