#include "app/MainFormLayout.h"

#include <algorithm>
#include <array>

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

constexpr std::array<TMainControlInfo, 13> kControls{{
    {C::Label8, K::kLabel, ScreenRect::OfSize(16, 16, kLabelWidth, kLabelHeight), A::kLeftTop, -1,
     "Original SETUP file name", -1, false},
    {C::edOriginalSetupFile, K::kEdit, ScreenRect::OfSize(16, 32, 541, 21), A::kLeftTopRight, 0, "",
     -1, false},
    {C::sbOriginalSetupFile, K::kSpeedButton, ScreenRect::OfSize(557, 32, 23, 22), A::kTopRight, -1,
     "", kBrowseImage, false},
    {C::rbKVURL, K::kRadioButton, ScreenRect::OfSize(16, 62, 273, 17), A::kLeftTop, 1,
     "KV Server URL (for download K-VConfig.bin)", -1, false},
    {C::edKVServerURL, K::kEdit, ScreenRect::OfSize(16, 80, 564, 21), A::kLeftTopRight, 2, "", -1,
     false},
    {C::rbKVConfig, K::kRadioButton, ScreenRect::OfSize(16, 110, 545, 17), A::kLeftTop, 3,
     "K-VConfig.bin file name   (also *.exe, *.msi with embedded K-VConfig may be used)", -1,
     false},
    {C::edKVConfigFile, K::kEdit, ScreenRect::OfSize(16, 128, 541, 21), A::kLeftTopRight, 4, "", -1,
     false},
    {C::sbKVConfigFile, K::kSpeedButton, ScreenRect::OfSize(557, 128, 23, 22), A::kTopRight, -1, "",
     kBrowseImage, false},
    {C::Label3, K::kLabel, ScreenRect::OfSize(16, 160, kLabelWidth, kLabelHeight), A::kLeftTop, -1,
     "AutoInstall.srg file name   (also *.exe, *.msi with embedded AutoInstall may be used)", -1,
     false},
    {C::Label1, K::kLabel, ScreenRect::OfSize(16, 176, kLabelWidth, kLabelHeight), A::kLeftTop, -1,
     "Required for unattended installation. Leave blank for manual installation.", -1, true},
    {C::edAutoinstallSRG, K::kEdit, ScreenRect::OfSize(16, 192, 541, 21), A::kLeftTopRight, 5, "",
     -1, false},
    {C::sbAutoinstallSRGFile, K::kSpeedButton, ScreenRect::OfSize(557, 192, 23, 22), A::kTopRight,
     -1, "", kBrowseImage, false},
    {C::btStoreToSetup, K::kBitButton, ScreenRect::OfSize(412, 240, 168, 25), A::kTopRight, 6,
     "Store to new SETUP", kStoreImage, false},
}};

}  // namespace

std::span<const TMainControlInfo> MainFormControls() {
  return kControls;
}

const TMainControlInfo& MainFormControl(TMainControl id) {
  return kControls[static_cast<std::size_t>(id)];
}

ScreenRect MainControlRect(TMainControl id, int pixels_per_inch, int client_width) {
  const TMainControlInfo& control = MainFormControl(id);
  ScreenRect rect = ScaleToPixelsPerInch(control.Bounds, pixels_per_inch);
  const int growth = client_width - ScaleToPixelsPerInch(kMainFormClientWidth, pixels_per_inch);
  if (control.Anchors == TAnchors::kLeftTopRight)
    rect.Right = rect.Left + std::max(0, rect.Width() + growth);
  else if (control.Anchors == TAnchors::kTopRight)
    rect = rect.Moved(growth, 0);
  return rect;
}

TMainFormSizeLimits MainFormSizeLimits(int pixels_per_inch, int frame_width, int frame_height) {
  const int client_height = ScaleToPixelsPerInch(kMainFormClientHeight, pixels_per_inch);
  // Never narrower than the frame itself, whatever the screen.
  const int min_width =
      std::max(ScaleToPixelsPerInch(kMainFormMinWidth, pixels_per_inch), frame_width);
  return {min_width, client_height + frame_height};
}

ScreenRect CentredWindowRect(const ScreenRect& work_area, int width, int height) {
  const int left = work_area.Left + std::max(0, (work_area.Width() - width) / 2);
  const int top = work_area.Top + std::max(0, (work_area.Height() - height) / 2);
  return ScreenRect::OfSize(left, top, width, height);
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
