// Window layouts are designed at 96 pixels per inch and scaled to the screen's pixels per inch:
// each value multiplied, then divided with rounding to the nearest pixel (halves away from zero).
#pragma once

#include "ui/ScreenRect.h"

namespace kv {

// value * pixels_per_inch / 96, rounded; the value itself when pixels_per_inch is not positive.
int ScaleToPixelsPerInch(int value, int pixels_per_inch);
// Corner and size scaled each on its own, so that equal sizes stay equal wherever they stand.
ScreenRect ScaleToPixelsPerInch(const ScreenRect& rect, int pixels_per_inch);

}  // namespace kv
