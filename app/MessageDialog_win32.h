// The program's one modal message box: title and symbol icon of its kind, the text, and the
// buttons of TMessageBoxContent ("Cancel" first and focused in the signature question, so Enter,
// Escape and the close box all mean Cancel there). Windows only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/MessageBox.h"

namespace kv {

inline constexpr wchar_t kFormFontName[] = L"MS Sans Serif";

// Shows the box, drawn at pixels_per_inch, over owner (disabled meanwhile) and returns the
// answer. When abandon turns true while the box is open, it closes with the answer of its close
// box.
TMessageAnswer ShowMessageDialog(HWND owner, int pixels_per_inch, const TMessageBoxContent& content,
                                 const std::function<bool()>& abandon);

// The windows' reporting hook: an error box with the text over the window's top-level window.
// A failure while such a box is open is not shown.
void ReportWindowFailure(HWND window, const std::string& text);

}  // namespace kv
