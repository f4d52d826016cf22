// TNoteForm: the read-only note window that shows the usage text when the program was started
// without a console. One multi-line box, MemoNote, fills it; there are no buttons, the user
// closes it with the close box or the system menu. Windows only.
#pragma once

#include <string>

#include "ui/GdiHandles_win32.h"
#include "ui/Window_win32.h"

namespace kv {

class TNoteForm final : public TWindow {
 public:
  // Shows text (UTF-8, CR LF line ends) and returns when the window has been closed.
  void ShowModal(const std::string& text);

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  // Creation handler: makes the designed fixed border sizeable and creates MemoNote.
  void FormCreate();
  void FormResize();

  HWND MemoNote = nullptr;
  TFont form_font_;
  TFont memo_font_;
  int pixels_per_inch_ = 96;
};

// Shows text in a TNoteForm owned by the application and destroys the window when it closes.
void ShowNoteForm(const std::string& text);

}  // namespace kv
