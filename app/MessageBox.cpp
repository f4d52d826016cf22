#include "app/MessageBox.h"

#include <algorithm>

namespace kv {

namespace {

// At 96 pixels per inch.
constexpr int kIconSize = 32;
constexpr int kMargin = 12;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kButtonGap = 6;
constexpr int kMaxTextWidth = 420;

}  // namespace

const char* MessageTitle(TMessageKind kind) {
  switch (kind) {
    case TMessageKind::kWarning:
      return "Warning";
    case TMessageKind::kInformation:
      return "Information";
    case TMessageKind::kError:
      break;
  }
  return "Error";
}

std::vector<TMessageButton> MessageBoxButtons(TMessageButtons buttons) {
  if (buttons == TMessageButtons::kCancelIgnore)
    return {{"Cancel", TMessageAnswer::kCancel}, {"&Ignore", TMessageAnswer::kIgnore}};
  return {{"OK", TMessageAnswer::kOk}};
}

TMessageAnswer DismissAnswer(TMessageButtons buttons) {
  return buttons == TMessageButtons::kCancelIgnore ? TMessageAnswer::kCancel : TMessageAnswer::kOk;
}

int MessageIconSize(int pixels_per_inch) {
  return ScaleToPixelsPerInch(kIconSize, pixels_per_inch);
}

int MaxMessageTextWidth(int pixels_per_inch) {
  return ScaleToPixelsPerInch(kMaxTextWidth, pixels_per_inch);
}

TMessageDialogLayout LayoutMessageDialog(int pixels_per_inch, int text_width, int text_height,
                                         std::size_t button_count) {
  const auto scaled = [pixels_per_inch](int value) {
    return ScaleToPixelsPerInch(value, pixels_per_inch);
  };
  const int margin = scaled(kMargin);
  const int icon = MessageIconSize(pixels_per_inch);
  const int button_width = scaled(kButtonWidth);
  const int button_gap = scaled(kButtonGap);
  text_width = std::max(0, text_width);
  text_height = std::max(0, text_height);

  TMessageDialogLayout layout;
  layout.Icon = {margin, margin, icon, icon};
  // A text shorter than the icon stands in the middle of its height.
  const int text_top = margin + std::max(0, (icon - text_height) / 2);
  layout.Text = {margin + icon + margin, text_top, text_width, text_height};
  const int count = static_cast<int>(button_count);
  const int row_width = count * button_width + std::max(0, count - 1) * button_gap;
  layout.ClientWidth =
      std::max(layout.Text.Left + text_width + margin, margin + row_width + margin);
  const int row_top = margin + std::max(icon, text_height) + margin;
  int left = layout.ClientWidth - margin - row_width;
  for (int i = 0; i < count; ++i) {
    layout.Buttons.push_back({left, row_top, button_width, scaled(kButtonHeight)});
    left += button_width + button_gap;
  }
  layout.ClientHeight = row_top + scaled(kButtonHeight) + margin;
  return layout;
}

TPixelRect PlaceMessageBox(const TPixelRect& work_area, const std::optional<TPixelRect>& owner,
                           int width, int height) {
  const TPixelRect& centre_on = owner ? *owner : work_area;
  TPixelRect box{0, 0, std::clamp(width, 0, std::max(0, work_area.Width)),
                 std::clamp(height, 0, std::max(0, work_area.Height))};
  box.Left = std::clamp(centre_on.Left + (centre_on.Width - box.Width) / 2, work_area.Left,
                        work_area.Left + work_area.Width - box.Width);
  box.Top = std::clamp(centre_on.Top + (centre_on.Height - box.Height) / 2, work_area.Top,
                       work_area.Top + work_area.Height - box.Height);
  return box;
}

}  // namespace kv
