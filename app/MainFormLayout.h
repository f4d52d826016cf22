// The layout of the main window TKVSetupConfiguratorMainForm: its controls as designed at 96
// pixels per inch (position, size, anchors, tab order, caption), their places for a given client
// width and screen, the window's size limits (fixed client height, minimum width), the tab stops
// and enabled states that follow the selected radio button, and the window's centred position.
#pragma once

#include <span>
#include <vector>

#include "app/PixelScaling.h"

namespace kv {

enum class TMainControl {
  Label8,
  edOriginalSetupFile,
  sbOriginalSetupFile,
  rbKVURL,
  edKVServerURL,
  rbKVConfig,
  edKVConfigFile,
  sbKVConfigFile,
  Label3,
  Label1,
  edAutoinstallSRG,
  sbAutoinstallSRGFile,
  btStoreToSetup,
};

enum class TControlKind { kLabel, kEdit, kSpeedButton, kRadioButton, kBitButton };

// Left-top: stays. Left-top-right: widens with the window. Top-right: moves with the right edge.
enum class TAnchors { kLeftTop, kLeftTopRight, kTopRight };

struct TMainControlInfo {
  TMainControl Id;
  TControlKind Kind;
  ScreenRect Bounds;  // at 96 pixels per inch, in the designed client area
  TAnchors Anchors;
  int TabOrder;         // -1: not a tab stop
  const char* Caption;  // empty for edit boxes and speed buttons
  int ImageIndex;       // in the window's image list; -1: none
  bool BlueText;
};

inline constexpr const char* kMainFormCaption = "KV Setup configurator";
inline constexpr int kMainFormClientWidth = 596;
inline constexpr int kMainFormClientHeight = 282;
inline constexpr int kMainFormMinWidth = 600;  // the whole window, frame included
inline constexpr int kMainFormFontHeight = 11;

// Every control, in the order of the table above (top to bottom).
std::span<const TMainControlInfo> MainFormControls();
const TMainControlInfo& MainFormControl(TMainControl id);

// The control's rectangle on a screen of pixels_per_inch in a client area client_width wide.
ScreenRect MainControlRect(TMainControl id, int pixels_per_inch, int client_width);

struct TMainFormSizeLimits {
  int MinWidth;     // of the whole window
  int FixedHeight;  // of the whole window, also when maximised
};

// frame_width / frame_height: what the window's frame and caption add to the client area.
TMainFormSizeLimits MainFormSizeLimits(int pixels_per_inch, int frame_width, int frame_height);

// The window of the given size centred on the work area (never left of or above its origin).
ScreenRect CentredWindowRect(const ScreenRect& work_area, int width, int height);

// rbKVClick: which controls are enabled for the selected radio button.
struct TChoiceStates {
  bool ServerURLEnabled;   // edKVServerURL
  bool ConfigFileEnabled;  // edKVConfigFile and sbKVConfigFile
};
TChoiceStates ChoiceStates(bool server_url_selected);

// The controls Tab visits, in order: the radio pair is one stop (the selected button), and
// disabled edit boxes are skipped.
std::vector<TMainControl> MainFormTabStops(bool server_url_selected);

}  // namespace kv
