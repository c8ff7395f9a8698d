#pragma once

#include <QRect>

#include <cmath>

// The dialog layouts are given in dialog units of an 8-point dialog font;
// one unit is 1.5 pixels across and 1.625 pixels down.
constexpr double kDialogUnitXPixels = 1.5;
constexpr double kDialogUnitYPixels = 1.625;

inline int DialogUnitsToPixelsX(int units) {
    return static_cast<int>(std::lround(units * kDialogUnitXPixels));
}

inline int DialogUnitsToPixelsY(int units) {
    return static_cast<int>(std::lround(units * kDialogUnitYPixels));
}

// A layout rectangle (x, y, width, height in dialog units) in pixels.
inline QRect DialogUnitsRect(int x, int y, int width, int height) {
    return QRect(DialogUnitsToPixelsX(x), DialogUnitsToPixelsY(y), DialogUnitsToPixelsX(width),
                 DialogUnitsToPixelsY(height));
}
