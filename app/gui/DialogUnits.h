#pragma once

#include <QFont>
#include <QRect>

namespace norvo {

// Converts dialog units into pixels the way dialog templates are laid out: one horizontal unit
// is a quarter of the font's average character width, one vertical unit an eighth of its
// character height. Keeps the windows' proportions whatever font and screen they get.
class DialogUnits {
public:
    // `avgCharWidth` and `charHeight` in pixels; values below 1 are taken as 1.
    DialogUnits(int avgCharWidth, int charHeight);

    // The base units of `font` on the default screen.
    static DialogUnits ForFont(const QFont& font);

    // The 9 point Japanese Gothic font of the windows, or the application's font at 9 points
    // when no Japanese Gothic font is installed.
    static QFont DialogFont();

    int X(int units) const;
    int Y(int units) const;
    // A control's rectangle from its position and size in dialog units.
    QRect Rect(int x, int y, int w, int h) const;

    int AvgCharWidth() const { return m_nBaseX; }
    int CharHeight() const { return m_nBaseY; }

private:
    int m_nBaseX;
    int m_nBaseY;
};

}  // namespace norvo
