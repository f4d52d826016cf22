// The layout of the main window TKVSetupConfiguratorMainForm: its controls as designed at 96
// pixels per inch (position, size, anchors, tab order, caption), their places for a given client
// width and screen, the window's size limits (fixed client height, minimum width), the tab stops
// and enabled states that follow the selected radio button, and the window's centred position.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "app/PixelScaling.h"
#include "app/WindowTexts.h"

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

inline constexpr std::size_t kMainControlCount = 13;

enum class TControlKind { kLabel, kEdit, kSpeedButton, kRadioButton, kBitButton };

// Left-top: stays. Left-top-right: widens with the window. Top-right: moves with the right edge.
enum class TAnchors { kLeftTop, kLeftTopRight, kTopRight };

struct TMainControlInfo {
  TMainControl Id;
  TControlKind Kind;
  ScreenRect Bounds;  // at 96 pixels per inch, in the designed client area
  TAnchors Anchors;
  int TabOrder;    // -1: not a tab stop
  int ImageIndex;  // in the window's image list; -1: none
  bool BlueText;
};

inline constexpr int kMainFormClientWidth = 596;
inline constexpr int kMainFormClientHeight = 282;
inline constexpr int kMainFormMinWidth = 600;  // the whole window, frame included
inline constexpr int kMainFormFontHeight = 11;

// Every control, in the order of the table above (top to bottom).
std::span<const TMainControlInfo> MainFormControls();
const TMainControlInfo& MainFormControl(TMainControl id);

// The control's caption in the texts (with its mnemonic); empty for edit boxes and speed buttons.
const char* MainControlCaption(TMainControl id, const TWindowTexts& texts);
// The accessible name of a control without a caption of its own: an edit box takes its label's
// caption, a browse button its "Browse for" text. Empty for the others.
std::string MainControlName(TMainControl id, const TWindowTexts& texts);
// The edit box a browse button fills; the button itself for every other control.
TMainControl BrowseTarget(TMainControl browse_button);
// The browse button beside an edit box; the edit box itself for every other control.
TMainControl BrowseButtonOf(TMainControl edit);

// The order the controls are created in, which is their z-order: the table's, except that the
// two radio buttons stand together as one group before the URL box (Tab reaches the group, the
// arrow keys move in it).
std::span<const TMainControl> MainFormCreationOrder();

// Where captions in another language than English are wider than their controls: the width
// each control needs and the client width that holds them all, at one resolution.
struct TMainFormFit {
  std::array<int, kMainControlCount> Widths{};  // 0: the designed width
  int ClientWidth = 0;                          // 0: the designed width
};
// The width a control needs to show a caption text_width pixels wide, at pixels_per_inch: a
// label the text; a radio button the text beside its check mark; the store button the text
// beside its glyph inside its frame.
int NeededControlWidth(TControlKind kind, int text_width, int pixels_per_inch);
// The fit for the measured caption widths (index: the control; 0 for controls without one).
// Controls wide enough keep their designed width, so English keeps the designed sizes exactly.
TMainFormFit FitMainForm(int pixels_per_inch,
                         const std::array<int, kMainControlCount>& text_widths);

// The control's rectangle on a screen of pixels_per_inch in a client area client_width wide;
// with a fit, captioned controls take its widths (the store button grows to the left).
ScreenRect MainControlRect(TMainControl id, int pixels_per_inch, int client_width,
                           const TMainFormFit* fit = nullptr);

struct TMainFormSizeLimits {
  int MinWidth;     // of the whole window
  int FixedHeight;  // of the whole window, also when maximised
};

// frame_width / frame_height: what the window's frame and caption add to the client area;
// min_client_width: a fit's client width (0: the designed minimum only).
TMainFormSizeLimits MainFormSizeLimits(int pixels_per_inch, int frame_width, int frame_height,
                                       int min_client_width = 0);

// The window of the given size centred on the work area (never left of or above its origin).
ScreenRect CentredWindowRect(const ScreenRect& work_area, int width, int height);

// The glyphs' size at a resolution: 16 pixels scaled, taken down to the nearest frame the icon
// groups carry (16, 32, 48), so that a glyph is never blurred by stretching.
int GlyphSize(int pixels_per_inch);

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
