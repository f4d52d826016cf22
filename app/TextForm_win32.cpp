// The read-only text windows: the note window (modal, the text only) and the views of setup
// files (modeless, with a Copy button, closed by Escape). One class, TTextForm, makes both.
#include <string>
#include <utility>
#include <vector>

#include "app/MessageDialog_win32.h"
#include "app/NoteFormLayout.h"
#include "app/NoteForm_win32.h"
#include "app/SetupView_win32.h"
#include "base/WinText_win32.h"
#include "contents/SetupContents.h"
#include "contents/SetupContentsText.h"
#include "ui/AccessibleName_win32.h"
#include "ui/GdiHandles_win32.h"
#include "ui/Window_win32.h"

namespace kv {

namespace {

constexpr wchar_t kNoteFormClass[] = L"TNoteForm";
constexpr wchar_t kSetupViewClass[] = L"TKVSetupView";
constexpr wchar_t kMemoFontName[] = L"Courier New";
constexpr int kCopyButtonId = kFirstControlId;
// Views opened one after the other step down and right by this much (at 96 pixels per inch),
// coming back to the start after kCascadeSteps.
constexpr int kCascadeStep = 24;
constexpr std::size_t kCascadeSteps = 8;
// Designed with a single, fixed border; FormCreate makes it sizeable.
constexpr DWORD kDesignedStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kSizeableStyle = WS_THICKFRAME | WS_MAXIMIZEBOX;
constexpr DWORD kMemoStyle = WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                             ES_AUTOHSCROLL | ES_AUTOVSCROLL;

// The text as an edit box shows it: CR LF line ends (an LF gets a CR before it unless it has
// one); a zero byte, which would end the text, shown as a space.
std::wstring EditText(const std::string& text) {
  std::string lines;
  for (const char c : text) {
    if (c == '\n' && (lines.empty() || lines.back() != '\r'))
      lines += '\r';
    lines += c == '\0' ? ' ' : c;
  }
  return Utf8ToWide(lines);
}

// The name expand writes (called with a buffer and its size in characters, it returns the length
// written, or the size needed when the buffer is too small); name itself when it fails.
template <typename Expand>
std::wstring Expanded(const std::wstring& name, Expand expand) {
  const DWORD length = expand(nullptr, 0);
  std::wstring expanded(length, L'\0');
  const DWORD copied = length > 0 ? expand(expanded.data(), length) : 0;
  return copied > 0 && copied < length ? expanded.substr(0, copied) : name;
}

// The name of a file as the views compare it: full, long and in upper case.
std::wstring FileKey(const std::string& file_name) {
  const std::wstring name = Utf8ToWide(file_name);
  const std::wstring full = Expanded(name, [&](wchar_t* buffer, DWORD size) {
    return ::GetFullPathNameW(name.c_str(), size, buffer, nullptr);
  });
  std::wstring key = Expanded(full, [&](wchar_t* buffer, DWORD size) {
    return ::GetLongPathNameW(full.c_str(), buffer, size);
  });
  if (!key.empty())
    ::CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
  return key;
}

// The text box: named for screen readers; Tab and Enter go to the window (it is read-only).
class TMemo final : public TSubclass {
 public:
  explicit TMemo(std::wstring name) : name_(std::move(name)) {}

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override {
    LRESULT result = 0;
    if (message == WM_GETDLGCODE)
      return DefaultProc(message, wparam, lparam) & ~static_cast<LRESULT>(DLGC_WANTALLKEYS);
    if (message == WM_GETOBJECT && AnswerGetObject(handle_, wparam, lparam, {name_, 0, {}}, result))
      return result;
    return DefaultProc(message, wparam, lparam);
  }

  const std::wstring name_;
};

}  // namespace

class TTextForm final : public TWindow {
 public:
  // A view of a setup file (with the Copy button, closed by Escape) or the note window.
  explicit TTextForm(bool setup_view)
      : setup_view_(setup_view),
        memo_(Utf8ToWide(setup_view ? UiTexts().ViewTextName : UiTexts().NoteTextName)) {}
  ~TTextForm() override { DestroyHandle(); }

  // Creates and shows the window at the cascade step; false when it was not created.
  bool Open(HWND owner, const std::wstring& caption, const std::string& text, std::size_t step);
  void SetText(const std::string& text) { ::SetWindowTextW(MemoNote, EditText(text).c_str()); }
  const std::wstring& Key() const { return key_; }
  void SetKey(std::wstring key) { key_ = std::move(key); }
  bool TakeKey(const MSG& message) noexcept override;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  TNoteFormLayout Layout() const {
    return ScaleNoteFormLayout(setup_view_ ? SetupViewLayout() : DesignedNoteFormLayout(),
                               pixels_per_inch_);
  }
  // Creation handler: makes the designed fixed border sizeable and creates the controls.
  void FormCreate();
  void MakeFonts();
  void FormResize();
  void ApplyPixelsPerInch(int pixels_per_inch, const RECT& suggested);
  void CopyClick();

  const bool setup_view_;
  std::wstring key_;
  HWND MemoNote = nullptr;
  HWND CopyButton = nullptr;
  TMemo memo_;
  TFont form_font_;
  TFont memo_font_;
  int pixels_per_inch_ = kDesignPixelsPerInch;
};

bool TTextForm::Open(HWND owner, const std::wstring& caption, const std::string& text,
                     std::size_t step) {
  pixels_per_inch_ = WindowPixelsPerInch(owner);
  const ScreenRect window = Layout().Window;
  const int offset =
      ScaleToPixelsPerInch(kCascadeStep * static_cast<int>(step % kCascadeSteps), pixels_per_inch_);
  // The client area has the designed size with the border FormCreate gives the window; the
  // window stands at its designed place on its owner's monitor, inside the work area.
  const SIZE size = WindowSizeForClient(window.Width(), window.Height(),
                                        kDesignedStyle | kSizeableStyle, 0, pixels_per_inch_);
  const ScreenRect place = PlaceInWorkArea(FromRect(WorkAreaOf(owner)), window.Left + offset,
                                           window.Top + offset, size.cx, size.cy);
  if (!CreateOfClass(setup_view_ ? kSetupViewClass : kNoteFormClass, 0,
                     ::GetSysColorBrush(COLOR_BTNFACE), 0, kDesignedStyle, caption, ToRect(place),
                     owner)) {
    return false;
  }
  SetText(text);
  ::ShowWindow(handle_, SW_SHOWNORMAL);
  ::SetFocus(MemoNote);
  return true;
}

bool TTextForm::TakeKey(const MSG& message) noexcept {
  if (!setup_view_ || message.wParam != VK_ESCAPE)
    return false;
  ::PostMessageW(handle_, WM_CLOSE, 0, 0);
  return true;
}

LRESULT TTextForm::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      FormCreate();
      return 0;
    case WM_SIZE:
      FormResize();
      return 0;
    case WM_CTLCOLORSTATIC:  // a read-only edit box takes the window's colour
      return StaticColours(reinterpret_cast<HDC>(wparam), false);
    case WM_DPICHANGED:
      ApplyPixelsPerInch(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
      return 0;
    case WM_COMMAND:
      if (LOWORD(wparam) == kCopyButtonId && HIWORD(wparam) == BN_CLICKED)
        CopyClick();
      return 0;
    case WM_CLOSE:
      ::DestroyWindow(handle_);
      return 0;
    default:
      return DefaultProc(message, wparam, lparam);
  }
}

void TTextForm::FormCreate() {
  const LONG_PTR style = ::GetWindowLongPtrW(handle_, GWL_STYLE);
  ::SetWindowLongPtrW(handle_, GWL_STYLE, style | kSizeableStyle);
  ::SetWindowPos(handle_, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);

  const TNoteFormLayout layout = Layout();
  MakeFonts();
  MemoNote =
      CreateChildControl(handle_, L"EDIT", L"", kMemoStyle, 0, layout.Memo.Left, layout.Memo.Top,
                         layout.Memo.Width(), layout.Memo.Height(), 0, memo_font_.get());
  memo_.Attach(MemoNote);
  if (setup_view_) {
    CopyButton = CreateChildControl(handle_, L"BUTTON", Utf8ToWide(UiTexts().CopyButton),
                                    WS_TABSTOP | BS_PUSHBUTTON, 0, layout.Button.Left,
                                    layout.Button.Top, layout.Button.Width(),
                                    layout.Button.Height(), kCopyButtonId, form_font_.get());
  }
}

// The fonts of the resolution; the controls take them, and the former ones go when none uses
// them any more.
void TTextForm::MakeFonts() {
  const TNoteFormLayout layout = Layout();
  TFont form_font = MakeFont(FormFontName(pixels_per_inch_), layout.FontHeight);
  // Fixed pitch also where the face is missing, so that the columns of the text line up.
  TFont memo_font = MakeFont(kMemoFontName, layout.MemoFontHeight, FIXED_PITCH | FF_MODERN);
  ::SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(form_font.get()), FALSE);
  if (MemoNote)
    ::SendMessageW(MemoNote, WM_SETFONT, reinterpret_cast<WPARAM>(memo_font.get()), TRUE);
  if (CopyButton)
    ::SendMessageW(CopyButton, WM_SETFONT, reinterpret_cast<WPARAM>(form_font.get()), TRUE);
  form_font_ = std::move(form_font);
  memo_font_ = std::move(memo_font);
}

// As the main window does: the fonts and the layout take the new resolution, and the window the
// place and size the system suggests.
void TTextForm::ApplyPixelsPerInch(int pixels_per_inch, const RECT& suggested) {
  if (pixels_per_inch <= 0)
    return;
  pixels_per_inch_ = pixels_per_inch;
  MakeFonts();
  ::SetWindowPos(handle_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  FormResize();
}

void TTextForm::FormResize() {
  if (!MemoNote)
    return;
  RECT client{};
  ::GetClientRect(handle_, &client);
  const TNoteFormLayout layout = Layout();
  const ScreenRect memo = AnchoredMemoRect(layout, client.right, client.bottom);
  ::MoveWindow(MemoNote, memo.Left, memo.Top, memo.Width(), memo.Height(), TRUE);
  const ScreenRect button = AnchoredButtonRect(layout, client.right, client.bottom);
  if (CopyButton)
    ::MoveWindow(CopyButton, button.Left, button.Top, button.Width(), button.Height(), TRUE);
}

// The whole text as Unicode text on the clipboard; a failure is reported in a box.
void TTextForm::CopyClick() {
  const int length = ::GetWindowTextLengthW(MemoNote);
  const SIZE_T bytes = (static_cast<SIZE_T>(length) + 1) * sizeof(wchar_t);
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
  void* const target = memory ? ::GlobalLock(memory) : nullptr;
  if (target) {
    ::GetWindowTextW(MemoNote, static_cast<wchar_t*>(target), length + 1);
    ::GlobalUnlock(memory);
  }
  if (target && ::OpenClipboard(handle_)) {
    ::EmptyClipboard();
    if (::SetClipboardData(CF_UNICODETEXT, memory))
      memory = nullptr;  // the clipboard owns it now
    ::CloseClipboard();
  }
  if (memory) {
    ::GlobalFree(memory);
    ReportWindowFailure(handle_, UiTexts().ClipboardFailed);
  }
}

void ShowNoteForm(const std::string& text) {
  TTextForm form(false);
  if (form.Open(nullptr, Utf8ToWide(UiTexts().NoteCaption), text, 0))
    RunMessages(
        nullptr, [&form] { return form.Handle() == nullptr; }, true);
}

TSetupViews::TSetupViews() = default;
TSetupViews::~TSetupViews() = default;

void TSetupViews::Show(HWND owner, const std::string& file_name) {
  std::erase_if(views_, [](const auto& view) { return view->Handle() == nullptr; });
  const std::string text = InspectionText(InspectSetupFile(file_name));
  std::wstring key = FileKey(file_name);
  for (const auto& view : views_) {
    if (view->Key() == key) {
      view->SetText(text);
      ::ShowWindow(view->Handle(), SW_RESTORE);
      ::SetForegroundWindow(view->Handle());
      return;
    }
  }
  auto view = std::make_unique<TTextForm>(true);
  view->SetKey(std::move(key));
  if (view->Open(owner, Utf8ToWide(file_name), text, views_.size()))
    views_.push_back(std::move(view));
}

}  // namespace kv
