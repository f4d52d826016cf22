#include "app/NoteFormLayout.h"

#include <algorithm>

namespace kv {

TNoteFormLayout DesignedNoteFormLayout() {
  TNoteFormLayout layout;
  layout.Window = {187, 192, 762, 606};
  layout.Memo = {8, 8, 746, 590};
  layout.FontHeight = 11;
  layout.MemoFontHeight = 13;
  return layout;
}

TNoteFormLayout SetupViewLayout() {
  TNoteFormLayout layout = DesignedNoteFormLayout();
  constexpr int kMargin = 8;
  layout.Button = {layout.Window.Width - kMargin - 75, layout.Window.Height - kMargin - 25, 75, 25};
  layout.Memo.Height = layout.Button.Top - kMargin - layout.Memo.Top;
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

TPixelRect AnchoredMemoRect(const TNoteFormLayout& layout, int client_width, int client_height) {
  const int right_margin = layout.Window.Width - layout.Memo.Left - layout.Memo.Width;
  const int bottom_margin = layout.Window.Height - layout.Memo.Top - layout.Memo.Height;
  TPixelRect memo = layout.Memo;
  memo.Width = std::max(0, client_width - memo.Left - right_margin);
  memo.Height = std::max(0, client_height - memo.Top - bottom_margin);
  return memo;
}

TPixelRect AnchoredButtonRect(const TNoteFormLayout& layout, int client_width, int client_height) {
  TPixelRect button = layout.Button;
  button.Left = client_width - (layout.Window.Width - layout.Button.Left);
  button.Top = client_height - (layout.Window.Height - layout.Button.Top);
  return button;
}

}  // namespace kv
