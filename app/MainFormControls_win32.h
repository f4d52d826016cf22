// The main window's controls: labels, edit boxes and radio buttons created from the layout table,
// the glyph buttons with their image list and its companions, the tooltips of the browse buttons,
// and the measured widths of the captions in the window's font. Windows only.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/MainFormLayout.h"
#include "app/WindowTexts.h"
#include "ui/ZNTButtonsEx_win32.h"
#include "ui/ZNTImageList.h"

namespace kv {

// The control's text (UTF-8).
std::string ControlText(HWND control);

// A label (its mnemonic focuses the edit box after it; a hint shows "&" as it is), an edit box
// (a tab stop and group of its own, taking dropped files) or a radio button (the first one starts
// the pair's group).
HWND CreateNativeControl(HWND parent, const TMainControlInfo& info, const char* caption,
                         const ScreenRect& rect, HFONT font);

// Checks or unchecks a radio button; Tab reaches the group at its checked button.
void SetRadioChecked(HWND radio, bool checked);

// The program's icon, big and small, on the window.
void SetProgramIcons(HWND window);

// One tooltip window of owner showing each tool's text over it; none when it cannot be made.
HWND CreateTooltips(HWND owner, const std::vector<std::pair<HWND, std::string>>& tools);

// The fit of the captions of texts measured in font at pixels_per_inch.
TMainFormFit MeasureMainFormFit(HFONT font, int pixels_per_inch, const TWindowTexts& texts);

// The image list (filled from the program's icon groups) with its hot and disabled companions,
// the three browse buttons and the store button, all owned here.
class TMainFormGlyphs {
 public:
  // Loads the list at the glyph size of the resolution; a failure (no glyphs, the window works
  // all the same) goes to error.
  void Load(int pixels_per_inch, std::string& error);
  // The glyphs of another size come from their icons' frames of that size.
  void SetPixelsPerInch(int pixels_per_inch);
  // The companions, once the window is there.
  void CreateCompanions(std::string& error);
  // The companions take the system's new colours.
  void ColoursChanged();
  HWND CreateSpeedButton(HWND parent, const TMainControlInfo& info, const ScreenRect& rect,
                         const std::string& name, std::function<void()> click);
  HWND CreateStoreButton(HWND parent, const TMainControlInfo& info, const ScreenRect& rect,
                         const std::string& caption, std::function<void()> click);
  TZNTSpeedButtonEx& SpeedButton(TMainControl id) const {
    return *speed_buttons_[static_cast<std::size_t>(id)];
  }
  TZNTBitBtnEx& StoreButton() const { return *store_button_; }

 private:
  TZNTComponent components_;
  TZNTImageListResource* images_ = nullptr;
  std::array<TZNTSpeedButtonEx*, kMainControlCount> speed_buttons_{};
  TZNTBitBtnEx* store_button_ = nullptr;
};

}  // namespace kv
