// The program's message boxes as plain data: the kind (error, warning, information) with its
// title, the button set (OK, or the signature question's "Cancel" and "&Ignore"), which button
// has the focus, and which answer Enter, Escape and the close box give.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/PixelScaling.h"
#include "app/WindowTexts.h"

namespace kv {

enum class TMessageKind { kError, kWarning, kInformation };
enum class TMessageButtons { kOk, kCancelIgnore };
enum class TMessageAnswer { kOk, kCancel, kIgnore };

struct TMessageBoxContent {
  TMessageKind Kind = TMessageKind::kError;
  TMessageButtons Buttons = TMessageButtons::kOk;
  std::string Text;
};

struct TMessageButton {
  const char* Caption;  // with "&" before the accelerator letter
  TMessageAnswer Answer;
};

// "Error", "Warning" or "Information" in the language.
const char* MessageTitle(TMessageKind kind, TUiLanguage language = TUiLanguage::kEnglish);

// The character height of the box's font at 96 pixels per inch, as the main window's.
inline constexpr int kMessageFontHeight = 11;

// The buttons from left to right; the first one has the focus when the box opens.
std::vector<TMessageButton> MessageBoxButtons(TMessageButtons buttons,
                                              TUiLanguage language = TUiLanguage::kEnglish);

// The answer of Escape and of the close box: OK for a box with only OK, else "Cancel".
TMessageAnswer DismissAnswer(TMessageButtons buttons);

// The symbol icon's width and height: 32 pixels scaled to the screen.
int MessageIconSize(int pixels_per_inch);
// The text is wrapped at this width.
int MaxMessageTextWidth(int pixels_per_inch);

// The dialog's client area: the icon at the top left, the text beside it, the buttons in a row
// at the bottom right, all with a margin around them.
struct TMessageDialogLayout {
  int ClientWidth = 0;
  int ClientHeight = 0;
  ScreenRect Icon;
  ScreenRect Text;
  std::vector<ScreenRect> Buttons;  // left to right
};

// text_width and text_height: the wrapped text's size in the dialog's font.
TMessageDialogLayout LayoutMessageDialog(int pixels_per_inch, int text_width, int text_height,
                                         std::size_t button_count);

// Where a box of width x height goes on the monitor with work_area: centred over owner (its
// window rectangle, none while it is minimised or hidden), else on the work area; then moved,
// and cut when larger, so that it lies inside the work area.
ScreenRect PlaceMessageBox(const ScreenRect& work_area, const std::optional<ScreenRect>& owner,
                           int width, int height);

}  // namespace kv
