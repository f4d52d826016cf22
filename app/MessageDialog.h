// The program's one modal message box: title and symbol icon of its kind, the text, and the
// buttons of TMessageBoxContent ("Cancel" first and focused in the signature question, so Enter,
// Escape and the close box all mean Cancel there). Windows only.
#pragma once

#include <windows.h>

#include <functional>

#include "app/MessageBox.h"

namespace kv {

// Shows the box over owner (disabled meanwhile) and returns the answer. When abandon turns true
// while the box is open, it closes with the answer of its close box.
TMessageAnswer ShowMessageDialog(HWND owner, int pixels_per_inch, HFONT font,
                                 const TMessageBoxContent& content,
                                 const std::function<bool()>& abandon);

}  // namespace kv
