#pragma once
// Dialog units to pixels, as the dialog framework converts them: the horizontal base unit is
// the average width of the dialog font's letters, the vertical one the font's height;
// x pixels = x DU * base x / 4, y pixels = y DU * base y / 8, each rounded.
namespace verup {

struct DialogBaseUnits {
    int x = 0;
    int y = 0;
};

struct DuRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// a * b / c rounded half away from zero; 0 when c is 0.
int MulDiv(int a, int b, int c);

// alphabet_width: the width of "A...Za...z" (52 letters) in the dialog font.
DialogBaseUnits BaseUnitsFromFont(int alphabet_width, int font_height);

inline constexpr const char* kBaseUnitAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

int DuToPixelsX(int du, DialogBaseUnits units);
int DuToPixelsY(int du, DialogBaseUnits units);
// Edges are converted, not sizes, so neighbouring controls stay flush.
PixelRect ToPixels(const DuRect& rect, DialogBaseUnits units);

}  // namespace verup
