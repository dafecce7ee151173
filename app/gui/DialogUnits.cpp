#include "app/gui/DialogUnits.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <algorithm>

namespace norvo {

namespace {

// Point size of the dialog font.
constexpr int kDialogPointSize = 9;

// Japanese Gothic families in order of preference; the first installed one is used.
const char* const kGothicFamilies[] = {"Noto Sans CJK JP", "IPAPGothic",   "IPAGothic",
                                       "VL PGothic",       "TakaoPGothic", "MS PGothic"};

// Rounds a * b / c to the nearest integer, halves away from zero, as dialog mapping does.
int MulDivRound(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

DialogUnits::DialogUnits(int avgCharWidth, int charHeight)
    : m_nBaseX(std::max(1, avgCharWidth)), m_nBaseY(std::max(1, charHeight)) {}

DialogUnits DialogUnits::ForFont(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average over the Latin letters, rounded, is how dialog templates measure a font.
    static const QString kLetters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int width = metrics.horizontalAdvance(kLetters);
    return DialogUnits((width + 26) / 52, metrics.height());
}

QFont DialogUnits::DialogFont() {
    const QStringList installed = QFontDatabase::families();
    for (const char* family : kGothicFamilies) {
        if (installed.contains(QString::fromUtf8(family))) {
            return QFont(QString::fromUtf8(family), kDialogPointSize);
        }
    }
    QFont font = QApplication::font();
    font.setPointSize(kDialogPointSize);
    return font;
}

int DialogUnits::X(int units) const {
    return MulDivRound(units, m_nBaseX, 4);
}

int DialogUnits::Y(int units) const {
    return MulDivRound(units, m_nBaseY, 8);
}

QRect DialogUnits::Rect(int x, int y, int w, int h) const {
    // Map both corners so that adjacent controls share their edges exactly.
    const int left = X(x);
    const int top = Y(y);
    return QRect(left, top, X(x + w) - left, Y(y + h) - top);
}

}  // namespace norvo
