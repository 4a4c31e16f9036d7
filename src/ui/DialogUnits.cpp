#include "ui/DialogUnits.h"

#include <cstdint>

namespace verup {

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return 0;
    const int64_t product = static_cast<int64_t>(a) * b;
    const int64_t half = (c > 0 ? c : -c) / 2;
    const bool negative = (product < 0) != (c < 0);
    const int64_t magnitude = (product < 0 ? -product : product) + half;
    const int64_t quotient = magnitude / (c > 0 ? c : -c);
    return static_cast<int>(negative ? -quotient : quotient);
}

DialogBaseUnits BaseUnitsFromFont(int alphabet_width, int font_height)
{
    // The average of 52 letters, rounded: (width / 26 + 1) / 2.
    return DialogBaseUnits{(alphabet_width / 26 + 1) / 2, font_height};
}

int DuToPixelsX(int du, DialogBaseUnits units) { return MulDiv(du, units.x, 4); }
int DuToPixelsY(int du, DialogBaseUnits units) { return MulDiv(du, units.y, 8); }

PixelRect ToPixels(const DuRect& rect, DialogBaseUnits units)
{
    const int left = DuToPixelsX(rect.x, units);
    const int top = DuToPixelsY(rect.y, units);
    const int right = DuToPixelsX(rect.x + rect.width, units);
    const int bottom = DuToPixelsY(rect.y + rect.height, units);
    return PixelRect{left, top, right - left, bottom - top};
}

}  // namespace verup
