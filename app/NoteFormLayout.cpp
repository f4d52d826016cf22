#include "app/NoteFormLayout.h"

#include <algorithm>
#include <cstdint>

namespace kv {

namespace {

int Scale(int value, int pixels_per_inch) {
  const std::int64_t product = static_cast<std::int64_t>(value) * pixels_per_inch;
  const std::int64_t half = kDesignPixelsPerInch / 2;
  const std::int64_t rounded = product >= 0 ? (product + half) / kDesignPixelsPerInch
                                            : (product - half) / kDesignPixelsPerInch;
  return static_cast<int>(rounded);
}

TPixelRect ScaleRect(const TPixelRect& rect, int pixels_per_inch) {
  return {Scale(rect.Left, pixels_per_inch), Scale(rect.Top, pixels_per_inch),
          Scale(rect.Width, pixels_per_inch), Scale(rect.Height, pixels_per_inch)};
}

}  // namespace

TNoteFormLayout DesignedNoteFormLayout() {
  TNoteFormLayout layout;
  layout.Window = {187, 192, 762, 606};
  layout.Memo = {8, 8, 746, 590};
  layout.FontHeight = 11;
  layout.MemoFontHeight = 13;
  return layout;
}

TNoteFormLayout ScaleNoteFormLayout(const TNoteFormLayout& layout, int pixels_per_inch) {
  if (pixels_per_inch <= 0)
    return layout;
  TNoteFormLayout scaled;
  scaled.Window = ScaleRect(layout.Window, pixels_per_inch);
  scaled.Memo = ScaleRect(layout.Memo, pixels_per_inch);
  scaled.FontHeight = Scale(layout.FontHeight, pixels_per_inch);
  scaled.MemoFontHeight = Scale(layout.MemoFontHeight, pixels_per_inch);
  return scaled;
}

TPixelRect AnchoredMemoRect(const TNoteFormLayout& layout, int client_width, int client_height) {
  const int right_margin = layout.Window.Width - layout.Memo.Left - layout.Memo.Width;
  const int bottom_margin = layout.Window.Height - layout.Memo.Top - layout.Memo.Height;
  TPixelRect memo = layout.Memo;
  memo.Width = std::max(0, client_width - memo.Left - right_margin);
  memo.Height = std::max(0, client_height - memo.Top - bottom_margin);
  return memo;
}

}  // namespace kv
