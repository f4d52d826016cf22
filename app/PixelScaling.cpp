#include "app/PixelScaling.h"

#include <cstdint>

namespace kv {

int ScaleToPixelsPerInch(int value, int pixels_per_inch) {
  if (pixels_per_inch <= 0)
    return value;
  const std::int64_t product = static_cast<std::int64_t>(value) * pixels_per_inch;
  const std::int64_t half = kDesignPixelsPerInch / 2;
  const std::int64_t rounded = product >= 0 ? (product + half) / kDesignPixelsPerInch
                                            : (product - half) / kDesignPixelsPerInch;
  return static_cast<int>(rounded);
}

ScreenRect ScaleToPixelsPerInch(const ScreenRect& rect, int pixels_per_inch) {
  return ScreenRect::OfSize(ScaleToPixelsPerInch(rect.Left, pixels_per_inch),
                            ScaleToPixelsPerInch(rect.Top, pixels_per_inch),
                            ScaleToPixelsPerInch(rect.Width(), pixels_per_inch),
                            ScaleToPixelsPerInch(rect.Height(), pixels_per_inch));
}

}  // namespace kv
