// The program's one modal message box: title and symbol icon of its kind, the text, and the
// buttons of TMessageBoxContent ("Cancel" first and focused in the signature question, so Enter,
// Escape and the close box all mean Cancel there). Windows only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/MessageBox.h"
#include "app/WindowTexts.h"

namespace kv {

// The windows' font: the bitmap font "MS Sans Serif" at 96 pixels per inch, where it was
// designed; its TrueType twin, which scales smoothly, at every other resolution.
inline const wchar_t* FormFontName(int pixels_per_inch) {
  return pixels_per_inch == 96 ? L"MS Sans Serif" : L"Microsoft Sans Serif";
}

// The language of the windows: the user's Windows user-interface language, English for any
// other than Slovak and Czech.
inline TUiLanguage UiLanguage() {
  return UiLanguageOf(::GetUserDefaultUILanguage());
}
inline const TWindowTexts& UiTexts() {
  return WindowTexts(UiLanguage());
}

// Shows the box, drawn at pixels_per_inch, over owner (disabled meanwhile) and returns the
// answer. When abandon turns true while the box is open, it closes with the answer of its close
// box.
TMessageAnswer ShowMessageDialog(HWND owner, int pixels_per_inch, const TMessageBoxContent& content,
                                 const std::function<bool()>& abandon);

// The windows' reporting hook: an error box with the text, in the windows' language, over the
// window's top-level window. A failure while such a box is open is not shown.
void ReportWindowFailure(HWND window, const std::string& text);

}  // namespace kv
