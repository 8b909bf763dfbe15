#include "dialog_units.h"

#include <QFontMetrics>

namespace {

// a * b / c rounded to nearest, halves away from zero (MulDiv's rounding).
int mulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

QFont dialogFont() {
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPointSize(9);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

DialogBaseUnits dialogBaseUnits(const QFont& font) {
    static const QString kAlphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(kAlphabet);
    return {(width / 26 + 1) / 2, metrics.height()};
}

QRect mapDialogRect(const QRect& units, DialogBaseUnits base) {
    return QRect(mulDiv(units.x(), base.x, 4), mulDiv(units.y(), base.y, 8),
                 mulDiv(units.width(), base.x, 4), mulDiv(units.height(), base.y, 8));
}
