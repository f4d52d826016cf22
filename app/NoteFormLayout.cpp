#include "app/NoteFormLayout.h"

#include <algorithm>

namespace kv {

TNoteFormLayout DesignedNoteFormLayout() {
  TNoteFormLayout layout;
  layout.Window = ScreenRect::OfSize(187, 192, 762, 606);
  layout.Memo = ScreenRect::OfSize(8, 8, 746, 590);
  layout.FontHeight = 11;
  layout.MemoFontHeight = 13;
  return layout;
}

TNoteFormLayout SetupViewLayout() {
  TNoteFormLayout layout = DesignedNoteFormLayout();
  constexpr int kMargin = 8;
  layout.Button = ScreenRect::OfSize(layout.Window.Width() - kMargin - 75,
                                     layout.Window.Height() - kMargin - 25, 75, 25);
  layout.Memo.Bottom = layout.Button.Top - kMargin;
  return layout;
}

TNoteFormLayout ScaleNoteFormLayout(const TNoteFormLayout& layout, int pixels_per_inch) {
  if (pixels_per_inch <= 0)
    return layout;
  TNoteFormLayout scaled;
  scaled.Window = ScaleToPixelsPerInch(layout.Window, pixels_per_inch);
  scaled.Memo = ScaleToPixelsPerInch(layout.Memo, pixels_per_inch);
  scaled.Button = ScaleToPixelsPerInch(layout.Button, pixels_per_inch);
  scaled.FontHeight = ScaleToPixelsPerInch(layout.FontHeight, pixels_per_inch);
  scaled.MemoFontHeight = ScaleToPixelsPerInch(layout.MemoFontHeight, pixels_per_inch);
  return scaled;
}

ScreenRect AnchoredMemoRect(const TNoteFormLayout& layout, int client_width, int client_height) {
  const int right_margin = layout.Window.Width() - layout.Memo.Right;
  const int bottom_margin = layout.Window.Height() - layout.Memo.Bottom;
  const ScreenRect& memo = layout.Memo;
  return ScreenRect::OfSize(memo.Left, memo.Top,
                            std::max(0, client_width - memo.Left - right_margin),
                            std::max(0, client_height - memo.Top - bottom_margin));
}

ScreenRect AnchoredButtonRect(const TNoteFormLayout& layout, int client_width, int client_height) {
  const ScreenRect& button = layout.Button;
  return ScreenRect::OfSize(client_width - (layout.Window.Width() - button.Left),
                            client_height - (layout.Window.Height() - button.Top), button.Width(),
                            button.Height());
}

ScreenRect PlaceInWorkArea(const ScreenRect& work_area, int left, int top, int width, int height) {
  const int fitted_width = std::clamp(width, 0, std::max(0, work_area.Width()));
  const int fitted_height = std::clamp(height, 0, std::max(0, work_area.Height()));
  return ScreenRect::OfSize(
      std::clamp(work_area.Left + left, work_area.Left, work_area.Right - fitted_width),
      std::clamp(work_area.Top + top, work_area.Top, work_area.Bottom - fitted_height),
      fitted_width, fitted_height);
}

}  // namespace kv
