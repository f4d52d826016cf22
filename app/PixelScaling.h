// Window layouts are designed at 96 pixels per inch and scaled to the screen's pixels per inch:
// each value multiplied, then divided with rounding to the nearest pixel (halves away from zero).
#pragma once

namespace kv {

struct TPixelRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;

  bool operator==(const TPixelRect&) const = default;
};

inline constexpr int kDesignPixelsPerInch = 96;

// value * pixels_per_inch / 96, rounded; the value itself when pixels_per_inch is not positive.
int ScaleToPixelsPerInch(int value, int pixels_per_inch);
TPixelRect ScaleToPixelsPerInch(const TPixelRect& rect, int pixels_per_inch);

}  // namespace kv
