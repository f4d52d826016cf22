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

const char* MessageTitle(TMessageKind kind, TUiLanguage language) {
  const TWindowTexts& texts = WindowTexts(language);
  switch (kind) {
    case TMessageKind::kWarning:
      return texts.WarningTitle;
    case TMessageKind::kInformation:
      return texts.InformationTitle;
    case TMessageKind::kError:
      break;
  }
  return texts.ErrorTitle;
}

std::vector<TMessageButton> MessageBoxButtons(TMessageButtons buttons, TUiLanguage language) {
  const TWindowTexts& texts = WindowTexts(language);
  if (buttons == TMessageButtons::kCancelIgnore)
    return {{texts.CancelButton, TMessageAnswer::kCancel},
            {texts.IgnoreButton, TMessageAnswer::kIgnore}};
  return {{texts.OkButton, TMessageAnswer::kOk}};
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
  layout.Icon = ScreenRect::OfSize(margin, margin, icon, icon);
  // A text shorter than the icon stands in the middle of its height.
  const int text_top = margin + std::max(0, (icon - text_height) / 2);
  layout.Text = ScreenRect::OfSize(margin + icon + margin, text_top, text_width, text_height);
  const int count = static_cast<int>(button_count);
  const int row_width = count * button_width + std::max(0, count - 1) * button_gap;
  layout.ClientWidth =
      std::max(layout.Text.Left + text_width + margin, margin + row_width + margin);
  const int row_top = margin + std::max(icon, text_height) + margin;
  int left = layout.ClientWidth - margin - row_width;
  for (int i = 0; i < count; ++i) {
    layout.Buttons.push_back(
        ScreenRect::OfSize(left, row_top, button_width, scaled(kButtonHeight)));
    left += button_width + button_gap;
  }
  layout.ClientHeight = row_top + scaled(kButtonHeight) + margin;
  return layout;
}

ScreenRect PlaceMessageBox(const ScreenRect& work_area, const std::optional<ScreenRect>& owner,
                           int width, int height) {
  const ScreenRect& centre_on = owner ? *owner : work_area;
  const int box_width = std::clamp(width, 0, std::max(0, work_area.Width()));
  const int box_height = std::clamp(height, 0, std::max(0, work_area.Height()));
  const int left = std::clamp(centre_on.Left + (centre_on.Width() - box_width) / 2, work_area.Left,
                              work_area.Right - box_width);
  const int top = std::clamp(centre_on.Top + (centre_on.Height() - box_height) / 2, work_area.Top,
                             work_area.Bottom - box_height);
  return ScreenRect::OfSize(left, top, box_width, box_height);
}

}  // namespace kv
