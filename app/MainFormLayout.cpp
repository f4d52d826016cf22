#include "app/MainFormLayout.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <utility>

namespace kv {

namespace {

using C = TMainControl;
using K = TControlKind;
using A = TAnchors;

// Labels size themselves to their text; they get the width of the area they stand in.
constexpr int kLabelWidth = 564;
constexpr int kLabelHeight = 13;
constexpr int kBrowseImage = 0;
constexpr int kStoreImage = 1;

constexpr std::array<TMainControlInfo, kMainControlCount> kControls{{
    {C::Label8, K::kLabel, ScreenRect::OfSize(16, 16, kLabelWidth, kLabelHeight), A::kLeftTop, -1,
     -1, false},
    {C::edOriginalSetupFile, K::kEdit, ScreenRect::OfSize(16, 32, 541, 21), A::kLeftTopRight, 0, -1,
     false},
    {C::sbOriginalSetupFile, K::kSpeedButton, ScreenRect::OfSize(557, 32, 23, 22), A::kTopRight, -1,
     kBrowseImage, false},
    {C::rbKVURL, K::kRadioButton, ScreenRect::OfSize(16, 62, 273, 17), A::kLeftTop, 1, -1, false},
    {C::edKVServerURL, K::kEdit, ScreenRect::OfSize(16, 80, 564, 21), A::kLeftTopRight, 2, -1,
     false},
    {C::rbKVConfig, K::kRadioButton, ScreenRect::OfSize(16, 110, 545, 17), A::kLeftTop, 3, -1,
     false},
    {C::edKVConfigFile, K::kEdit, ScreenRect::OfSize(16, 128, 541, 21), A::kLeftTopRight, 4, -1,
     false},
    {C::sbKVConfigFile, K::kSpeedButton, ScreenRect::OfSize(557, 128, 23, 22), A::kTopRight, -1,
     kBrowseImage, false},
    {C::Label3, K::kLabel, ScreenRect::OfSize(16, 160, kLabelWidth, kLabelHeight), A::kLeftTop, -1,
     -1, false},
    {C::Label1, K::kLabel, ScreenRect::OfSize(16, 176, kLabelWidth, kLabelHeight), A::kLeftTop, -1,
     -1, true},
    {C::edAutoinstallSRG, K::kEdit, ScreenRect::OfSize(16, 192, 541, 21), A::kLeftTopRight, 5, -1,
     false},
    {C::sbAutoinstallSRGFile, K::kSpeedButton, ScreenRect::OfSize(557, 192, 23, 22), A::kTopRight,
     -1, kBrowseImage, false},
    {C::btStoreToSetup, K::kBitButton, ScreenRect::OfSize(412, 240, 168, 25), A::kTopRight, 6,
     kStoreImage, false},
}};

constexpr TMainControl kCreationOrder[] = {
    C::Label8,           C::edOriginalSetupFile,  C::sbOriginalSetupFile, C::rbKVURL, C::rbKVConfig,
    C::edKVServerURL,    C::edKVConfigFile,       C::sbKVConfigFile,      C::Label3,  C::Label1,
    C::edAutoinstallSRG, C::sbAutoinstallSRGFile, C::btStoreToSetup,
};
static_assert(std::size(kCreationOrder) == kMainControlCount);

// Each browse button and the edit box it fills.
constexpr std::pair<C, C> kBrowsePairs[] = {
    {C::sbOriginalSetupFile, C::edOriginalSetupFile},
    {C::sbKVConfigFile, C::edKVConfigFile},
    {C::sbAutoinstallSRGFile, C::edAutoinstallSRG},
};

// At 96 pixels per inch: the right margin of the designed client area; what a radio button's
// check mark and the gap after it take; what the store button's frame, glyph and spacing take.
constexpr int kRightMargin = 16;
constexpr int kRadioMarkWidth = 20;
constexpr int kButtonChromeWidth = 16 + 4 + 2 * 8;

}  // namespace

const char* MainControlCaption(TMainControl id, const TWindowTexts& texts) {
  switch (id) {
    case C::Label8:
      return texts.OriginalSetupLabel;
    case C::rbKVURL:
      return texts.ServerUrlChoice;
    case C::rbKVConfig:
      return texts.PackageFileChoice;
    case C::Label3:
      return texts.AnswerFileLabel;
    case C::Label1:
      return texts.AnswerFileHint;
    case C::btStoreToSetup:
      return texts.StoreButton;
    default:
      return "";
  }
}

std::string MainControlName(TMainControl id, const TWindowTexts& texts) {
  switch (id) {
    case C::edOriginalSetupFile:
      return WithoutMnemonic(texts.OriginalSetupLabel);
    case C::edKVServerURL:
      return WithoutMnemonic(texts.ServerUrlChoice);
    case C::edKVConfigFile:
      return WithoutMnemonic(texts.PackageFileChoice);
    case C::edAutoinstallSRG:
      return WithoutMnemonic(texts.AnswerFileLabel);
    case C::sbOriginalSetupFile:
      return texts.BrowseOriginalSetup;
    case C::sbKVConfigFile:
      return texts.BrowsePackageFile;
    case C::sbAutoinstallSRGFile:
      return texts.BrowseAnswerFile;
    default:
      return "";
  }
}

TMainControl BrowseTarget(TMainControl browse_button) {
  for (const auto& [button, edit] : kBrowsePairs) {
    if (button == browse_button)
      return edit;
  }
  return browse_button;
}

TMainControl BrowseButtonOf(TMainControl edit_box) {
  for (const auto& [button, edit] : kBrowsePairs) {
    if (edit == edit_box)
      return button;
  }
  return edit_box;
}

std::span<const TMainControl> MainFormCreationOrder() {
  return kCreationOrder;
}

int NeededControlWidth(TControlKind kind, int text_width, int pixels_per_inch) {
  if (text_width <= 0)
    return 0;
  switch (kind) {
    case TControlKind::kRadioButton:
      return text_width + ScaleToPixelsPerInch(kRadioMarkWidth, pixels_per_inch);
    case TControlKind::kBitButton:
      return text_width + ScaleToPixelsPerInch(kButtonChromeWidth, pixels_per_inch);
    case TControlKind::kLabel:
      return text_width;
    default:
      return 0;
  }
}

TMainFormFit FitMainForm(int pixels_per_inch,
                         const std::array<int, kMainControlCount>& text_widths) {
  TMainFormFit fit;
  const int margin = ScaleToPixelsPerInch(kRightMargin, pixels_per_inch);
  fit.ClientWidth = ScaleToPixelsPerInch(kMainFormClientWidth, pixels_per_inch);
  for (const TMainControlInfo& control : kControls) {
    const std::size_t index = static_cast<std::size_t>(control.Id);
    const ScreenRect designed = ScaleToPixelsPerInch(control.Bounds, pixels_per_inch);
    const int needed = NeededControlWidth(control.Kind, text_widths[index], pixels_per_inch);
    fit.Widths[index] = std::max(designed.Width(), needed);
    // A left-anchored control ends a margin before the right edge at the latest; a right-anchored
    // one starts a margin after the left edge at the earliest.
    const int client = control.Anchors == TAnchors::kTopRight
                           ? fit.Widths[index] + 2 * margin
                           : designed.Left + fit.Widths[index] + margin;
    if (needed > designed.Width())
      fit.ClientWidth = std::max(fit.ClientWidth, client);
  }
  return fit;
}

std::span<const TMainControlInfo> MainFormControls() {
  return kControls;
}

const TMainControlInfo& MainFormControl(TMainControl id) {
  return kControls[static_cast<std::size_t>(id)];
}

ScreenRect MainControlRect(TMainControl id, int pixels_per_inch, int client_width,
                           const TMainFormFit* fit) {
  const TMainControlInfo& control = MainFormControl(id);
  ScreenRect rect = ScaleToPixelsPerInch(control.Bounds, pixels_per_inch);
  const int fitted = fit ? fit->Widths[static_cast<std::size_t>(id)] : 0;
  if (fitted > rect.Width() && control.Anchors == TAnchors::kTopRight)
    rect.Left = rect.Right - fitted;
  else if (fitted > rect.Width())
    rect.Right = rect.Left + fitted;
  const int growth = client_width - ScaleToPixelsPerInch(kMainFormClientWidth, pixels_per_inch);
  if (control.Anchors == TAnchors::kLeftTopRight)
    rect.Right = rect.Left + std::max(0, rect.Width() + growth);
  else if (control.Anchors == TAnchors::kTopRight)
    rect = rect.Moved(growth, 0);
  return rect;
}

TMainFormSizeLimits MainFormSizeLimits(int pixels_per_inch, int frame_width, int frame_height,
                                       int min_client_width) {
  const int client_height = ScaleToPixelsPerInch(kMainFormClientHeight, pixels_per_inch);
  // Never narrower than the frame itself, whatever the screen, nor than a fit needs.
  const int min_width = std::max({ScaleToPixelsPerInch(kMainFormMinWidth, pixels_per_inch),
                                  frame_width, frame_width + min_client_width});
  return {min_width, client_height + frame_height};
}

ScreenRect CentredWindowRect(const ScreenRect& work_area, int width, int height) {
  const int left = work_area.Left + std::max(0, (work_area.Width() - width) / 2);
  const int top = work_area.Top + std::max(0, (work_area.Height() - height) / 2);
  return ScreenRect::OfSize(left, top, width, height);
}

int GlyphSize(int pixels_per_inch) {
  constexpr int kFrames[] = {48, 32, 16};
  const int scaled = ScaleToPixelsPerInch(16, pixels_per_inch);
  for (const int frame : kFrames) {
    if (frame <= scaled)
      return frame;
  }
  return 16;
}

TChoiceStates ChoiceStates(bool server_url_selected) {
  return {server_url_selected, !server_url_selected};
}

std::vector<TMainControl> MainFormTabStops(bool server_url_selected) {
  std::vector<const TMainControlInfo*> ordered;
  for (const TMainControlInfo& control : kControls) {
    if (control.TabOrder >= 0)
      ordered.push_back(&control);
  }
  std::sort(ordered.begin(), ordered.end(),
            [](const auto* a, const auto* b) { return a->TabOrder < b->TabOrder; });
  const TChoiceStates states = ChoiceStates(server_url_selected);
  const C skipped_radio = server_url_selected ? C::rbKVConfig : C::rbKVURL;
  const C disabled_edit = states.ServerURLEnabled ? C::edKVConfigFile : C::edKVServerURL;
  std::vector<TMainControl> stops;
  for (const TMainControlInfo* control : ordered) {
    if (control->Id != skipped_radio && control->Id != disabled_edit)
      stops.push_back(control->Id);
  }
  return stops;
}

}  // namespace kv
