#include "app/MessageDialog_win32.h"
#include "app/NoteForm.h"
#include "app/NoteFormLayout.h"
#include "base/WinText_win32.h"
#include "ui/GdiHandles_win32.h"
#include "ui/Window_win32.h"

namespace kv {

namespace {

constexpr wchar_t kNoteFormClass[] = L"TNoteForm";
constexpr wchar_t kNoteFormCaption[] = L"Note";
constexpr wchar_t kMemoFontName[] = L"Courier New";
// Designed with a single, fixed border; FormCreate makes it sizeable.
constexpr DWORD kDesignedStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kSizeableStyle = WS_THICKFRAME | WS_MAXIMIZEBOX;
constexpr DWORD kMemoStyle = WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                             ES_AUTOHSCROLL | ES_AUTOVSCROLL;

class TNoteForm final : public TWindow {
 public:
  // Shows text and returns when the window has been closed.
  void ShowModal(const std::string& text);

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  // Creation handler: makes the designed fixed border sizeable and creates MemoNote.
  void FormCreate();
  void FormResize();

  HWND MemoNote = nullptr;
  TFont form_font_;
  TFont memo_font_;
  int pixels_per_inch_ = kDesignPixelsPerInch;
};

void TNoteForm::ShowModal(const std::string& text) {
  pixels_per_inch_ = WindowPixelsPerInch(nullptr);
  const TNoteFormLayout layout = ScaleNoteFormLayout(DesignedNoteFormLayout(), pixels_per_inch_);
  // The client area has the designed size with the border FormCreate gives the window.
  const SIZE size = WindowSizeForClient(layout.Window.Width, layout.Window.Height,
                                        kDesignedStyle | kSizeableStyle, 0, pixels_per_inch_);
  if (!CreateOfClass(kNoteFormClass, 0, ::GetSysColorBrush(COLOR_BTNFACE), 0, kDesignedStyle,
                     kNoteFormCaption,
                     {layout.Window.Left, layout.Window.Top, layout.Window.Left + size.cx,
                      layout.Window.Top + size.cy},
                     nullptr)) {
    return;
  }
  ::SetWindowTextW(MemoNote, Utf8ToWide(text).c_str());
  ::ShowWindow(handle_, SW_SHOWNORMAL);
  ::SetFocus(MemoNote);
  RunMessages(
      nullptr, [this] { return handle_ == nullptr; }, true);
}

LRESULT TNoteForm::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      FormCreate();
      return 0;
    case WM_SIZE:
      FormResize();
      return 0;
    case WM_CTLCOLORSTATIC:  // a read-only edit box takes the window's colour
      ::SetBkColor(reinterpret_cast<HDC>(wparam), ::GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    case WM_CLOSE:
      ::DestroyWindow(handle_);
      return 0;
    default:
      return DefaultProc(message, wparam, lparam);
  }
}

void TNoteForm::FormCreate() {
  const LONG_PTR style = ::GetWindowLongPtrW(handle_, GWL_STYLE);
  ::SetWindowLongPtrW(handle_, GWL_STYLE, style | kSizeableStyle);
  ::SetWindowPos(handle_, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);

  const TNoteFormLayout layout = ScaleNoteFormLayout(DesignedNoteFormLayout(), pixels_per_inch_);
  form_font_ = MakeFont(kFormFontName, layout.FontHeight);
  memo_font_ = MakeFont(kMemoFontName, layout.MemoFontHeight);
  ::SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(form_font_.get()), FALSE);
  MemoNote =
      CreateChildControl(handle_, L"EDIT", L"", kMemoStyle, 0, layout.Memo.Left, layout.Memo.Top,
                         layout.Memo.Width, layout.Memo.Height, 0, memo_font_.get());
}

void TNoteForm::FormResize() {
  if (!MemoNote)
    return;
  RECT client{};
  ::GetClientRect(handle_, &client);
  const TNoteFormLayout layout = ScaleNoteFormLayout(DesignedNoteFormLayout(), pixels_per_inch_);
  const TPixelRect memo = AnchoredMemoRect(layout, client.right, client.bottom);
  ::MoveWindow(MemoNote, memo.Left, memo.Top, memo.Width, memo.Height, TRUE);
}

}  // namespace

void ShowNoteForm(const std::string& text) {
  TNoteForm form;
  form.ShowModal(text);
}

}  // namespace kv
