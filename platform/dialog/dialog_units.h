// Dialog units and dialog fonts: how template rectangles become pixels and
// which installed family stands in for a template's face name. No GTK here,
// so the arithmetic is testable on its own.
#pragma once

#include "platform/os/window.h"

// The dialog font's base units in pixels: its average character width and
// its character height (ascent + descent).
struct DialogBaseUnits {
    int cx;
    int cy;
};

// The text whose width, divided by its 52 letters and rounded, is the
// average character width (the original platform measures the same letters).
inline constexpr const char* kBaseUnitSample = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
// Average character width from the pixel width of kBaseUnitSample, rounded to nearest.
int AverageCharWidth(int sampleWidth);

// a * b / c rounded half away from zero; -1 when c is 0 (as the original MulDiv).
int MulDiv(int a, int b, int c);

// A rectangle in dialog units (x, y, width, height) as pixels:
// x units are cx / 4 pixels, y units cy / 8 pixels. The result's right and
// bottom are left + width and top + height.
RECT DialogUnitsToPixels(const DialogBaseUnits& base, int x, int y, int cx, int cy);

// The installed family that stands in for a template's face name: the
// Japanese proportional gothic of the original platform becomes its metric
// twin "IPAPGothic" (package fonts-ipafont-gothic); any other name is used as it is.
const char* DialogFontFamily(const char* face);
