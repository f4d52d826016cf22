// The note window TNoteForm, read-only, that shows the usage text when the program was started
// without a console. One multi-line box, MemoNote, fills it; there are no buttons, the user
// closes it with the close box or the system menu. Windows only.
#pragma once

#include <string>

namespace kv {

// Shows text (UTF-8, CR LF line ends) in a TNoteForm owned by the application and returns when
// the window has been closed.
void ShowNoteForm(const std::string& text);

}  // namespace kv
