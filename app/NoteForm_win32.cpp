#include "app/NoteForm.h"

#include "app/FormClass.h"
#include "app/NoteFormLayout.h"
#include "base/WinText_win32.h"

namespace kv {

namespace {

constexpr wchar_t kNoteFormClass[] = L"TNoteForm";
constexpr wchar_t kNoteFormCaption[] = L"Note";
constexpr wchar_t kMemoFontName[] = L"Courier New";
// Designed with a single, fixed border; FormCreate makes it sizeable.
constexpr DWORD kDesignedStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kSizeableStyle = WS_THICKFRAME | WS_MAXIMIZEBOX;
constexpr DWORD kMemoStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL |
                             ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL;

}  // namespace

TNoteForm::~TNoteForm() {
  if (NoteForm)
    ::DestroyWindow(NoteForm);
  if (form_font_)
    ::DeleteObject(form_font_);
  if (memo_font_)
    ::DeleteObject(memo_font_);
}

void TNoteForm::ShowModal(const std::string& text) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  RegisterFormClass(instance, &TNoteForm::WindowProc, kNoteFormClass);
  pixels_per_inch_ = ScreenPixelsPerInch();
  const TNoteFormLayout layout = ScaleNoteFormLayout(DesignedNoteFormLayout(), pixels_per_inch_);

  // The client area has the designed size with the border FormCreate gives the window.
  RECT frame{0, 0, layout.Window.Width, layout.Window.Height};
  ::AdjustWindowRectEx(&frame, kDesignedStyle | kSizeableStyle, FALSE, 0);
  NoteForm = ::CreateWindowExW(0, kNoteFormClass, kNoteFormCaption, kDesignedStyle,
                               layout.Window.Left, layout.Window.Top, frame.right - frame.left,
                               frame.bottom - frame.top, nullptr, nullptr, instance, this);
  if (!NoteForm)
    return;
  ::SetWindowTextW(MemoNote, Utf8ToWide(text).c_str());
  ::ShowWindow(NoteForm, SW_SHOWNORMAL);
  ::SetFocus(MemoNote);

  MSG message{};
  while (!closed_ && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

LRESULT CALLBACK TNoteForm::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* form = static_cast<TNoteForm*>(create->lpCreateParams);
    form->NoteForm = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<TNoteForm*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!form)
    return ::DefWindowProcW(window, message, wparam, lparam);
  return form->HandleMessage(message, wparam, lparam);
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
      closed_ = true;
      ::DestroyWindow(NoteForm);
      return 0;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(NoteForm, GWLP_USERDATA, 0);
      NoteForm = nullptr;
      MemoNote = nullptr;
      closed_ = true;
      return 0;
    default:
      return ::DefWindowProcW(NoteForm, message, wparam, lparam);
  }
}

void TNoteForm::FormCreate() {
  const LONG_PTR style = ::GetWindowLongPtrW(NoteForm, GWL_STYLE);
  ::SetWindowLongPtrW(NoteForm, GWL_STYLE, style | kSizeableStyle);
  ::SetWindowPos(NoteForm, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);

  const TNoteFormLayout layout = ScaleNoteFormLayout(DesignedNoteFormLayout(), pixels_per_inch_);
  form_font_ = MakeFont(kFormFontName, layout.FontHeight);
  memo_font_ = MakeFont(kMemoFontName, layout.MemoFontHeight);
  ::SendMessageW(NoteForm, WM_SETFONT, reinterpret_cast<WPARAM>(form_font_), FALSE);
  MemoNote = ::CreateWindowExW(0, L"EDIT", L"", kMemoStyle, layout.Memo.Left, layout.Memo.Top,
                               layout.Memo.Width, layout.Memo.Height, NoteForm, nullptr,
                               ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(MemoNote, WM_SETFONT, reinterpret_cast<WPARAM>(memo_font_), FALSE);
}

void TNoteForm::FormResize() {
  if (!MemoNote)
    return;
  RECT client{};
  ::GetClientRect(NoteForm, &client);
  const TNoteFormLayout layout = ScaleNoteFormLayout(DesignedNoteFormLayout(), pixels_per_inch_);
  const TPixelRect memo = AnchoredMemoRect(layout, client.right, client.bottom);
  ::MoveWindow(MemoNote, memo.Left, memo.Top, memo.Width, memo.Height, TRUE);
}

void ShowNoteForm(const std::string& text) {
  TNoteForm form;
  form.ShowModal(text);
}

}  // namespace kv
