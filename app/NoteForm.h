// TNoteForm: the read-only note window that shows the usage text when the program was started
// without a console. One multi-line box, MemoNote, fills it; there are no buttons, the user
// closes it with the close box or the system menu. Windows only.
#pragma once

#include <windows.h>

#include <string>

namespace kv {

class TNoteForm {
 public:
  TNoteForm() = default;
  ~TNoteForm();
  TNoteForm(const TNoteForm&) = delete;
  TNoteForm& operator=(const TNoteForm&) = delete;

  // Shows text (UTF-8, CR LF line ends) and returns when the window has been closed.
  void ShowModal(const std::string& text);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  // Creation handler: makes the designed fixed border sizeable and creates MemoNote.
  void FormCreate();
  void FormResize();

  HWND NoteForm = nullptr;
  HWND MemoNote = nullptr;
  HFONT form_font_ = nullptr;
  HFONT memo_font_ = nullptr;
  int pixels_per_inch_ = 96;
  bool closed_ = false;
};

// Shows text in a TNoteForm owned by the application and destroys the window when it closes.
void ShowNoteForm(const std::string& text);

}  // namespace kv
