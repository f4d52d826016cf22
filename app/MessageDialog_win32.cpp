#include "app/MessageDialog.h"

#include <string>
#include <vector>

#include "app/FormClass.h"
#include "base/WinText_win32.h"
#include "ui/ZNTModuleIcon.h"

namespace kv {

namespace {

constexpr wchar_t kDialogClass[] = L"TKVMessageDialog";
// Button ids stay clear of IDOK and IDCANCEL, which Enter and Escape send.
constexpr int kFirstButtonId = 100;
constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kDialogExStyle = WS_EX_DLGMODALFRAME;

const wchar_t* IconName(TMessageKind kind) {
  switch (kind) {
    case TMessageKind::kWarning:
      return IDI_WARNING;
    case TMessageKind::kInformation:
      return IDI_INFORMATION;
    case TMessageKind::kError:
      break;
  }
  return IDI_ERROR;
}

class TMessageDialog {
 public:
  TMessageDialog(const TMessageBoxContent& content, int pixels_per_inch, HFONT font)
      : content_(content),
        buttons_(MessageBoxButtons(content.Buttons)),
        pixels_per_inch_(pixels_per_inch),
        font_(font),
        answer_(DismissAnswer(content.Buttons)) {}
  ~TMessageDialog() {
    if (icon_)
      ::DestroyIcon(icon_);
  }
  TMessageDialog(const TMessageDialog&) = delete;
  TMessageDialog& operator=(const TMessageDialog&) = delete;

  TMessageAnswer Run(HWND owner, const std::function<bool()>& abandon);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  TMessageDialogLayout Measure(const std::wstring& text) const;
  void CreateControls(const TMessageDialogLayout& layout, const std::wstring& text);
  void Finish(TMessageAnswer answer) {
    answer_ = answer;
    done_ = true;
  }

  const TMessageBoxContent& content_;
  const std::vector<TMessageButton> buttons_;
  const int pixels_per_inch_;
  const HFONT font_;
  HWND dialog_ = nullptr;
  HICON icon_ = nullptr;
  TPixelRect icon_rect_;
  TMessageAnswer answer_;
  bool done_ = false;
};

TMessageDialogLayout TMessageDialog::Measure(const std::wstring& text) const {
  RECT bounds{0, 0, MaxMessageTextWidth(pixels_per_inch_), 0};
  const HDC screen = ::GetDC(nullptr);
  const HGDIOBJ previous = ::SelectObject(screen, font_);
  ::DrawTextW(screen, text.c_str(), static_cast<int>(text.size()), &bounds,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  ::SelectObject(screen, previous);
  ::ReleaseDC(nullptr, screen);
  return LayoutMessageDialog(pixels_per_inch_, bounds.right - bounds.left,
                             bounds.bottom - bounds.top, buttons_.size());
}

void TMessageDialog::CreateControls(const TMessageDialogLayout& layout, const std::wstring& text) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  const auto add = [&](const wchar_t* control_class, const std::wstring& caption, DWORD style,
                       const TPixelRect& rect, int id) {
    const HWND control =
        ::CreateWindowExW(0, control_class, caption.c_str(), WS_CHILD | WS_VISIBLE | style,
                          rect.Left, rect.Top, rect.Width, rect.Height, dialog_,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return control;
  };
  add(L"STATIC", text, SS_LEFT | SS_NOPREFIX, layout.Text, -1);
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    const DWORD style = WS_TABSTOP | (i == 0 ? BS_DEFPUSHBUTTON | WS_GROUP : BS_PUSHBUTTON);
    add(L"BUTTON", Utf8ToWide(buttons_[i].Caption), style, layout.Buttons[i],
        kFirstButtonId + static_cast<int>(i));
  }
  icon_rect_ = layout.Icon;
  icon_ = LoadModuleIcon(nullptr, IconName(content_.Kind), layout.Icon.Width, layout.Icon.Height);
}

TMessageAnswer TMessageDialog::Run(HWND owner, const std::function<bool()>& abandon) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  RegisterFormClass(instance, &TMessageDialog::WindowProc, kDialogClass);
  const std::wstring text = Utf8ToWide(content_.Text);
  const TMessageDialogLayout layout = Measure(text);
  RECT frame{0, 0, layout.ClientWidth, layout.ClientHeight};
  ::AdjustWindowRectEx(&frame, kDialogStyle, FALSE, kDialogExStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  // Centred over the owner while it is visible, else on the work area.
  RECT area{};
  if (!owner || !::IsWindowVisible(owner) || !::GetWindowRect(owner, &area))
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  const int left = area.left + (area.right - area.left - width) / 2;
  const int top = area.top + (area.bottom - area.top - height) / 2;

  dialog_ = ::CreateWindowExW(kDialogExStyle, kDialogClass,
                              Utf8ToWide(MessageTitle(content_.Kind)).c_str(), kDialogStyle, left,
                              top, width, height, owner, nullptr, instance, this);
  if (!dialog_)
    return answer_;
  CreateControls(layout, text);
  if (owner)
    ::EnableWindow(owner, FALSE);
  ::ShowWindow(dialog_, SW_SHOWNORMAL);
  ::SetFocus(::GetDlgItem(dialog_, kFirstButtonId));

  MSG message{};
  while (!done_) {
    if (abandon && abandon()) {
      answer_ = DismissAnswer(content_.Buttons);
      break;
    }
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      // The quit request belongs to the loop of the program.
      if (got == 0)
        ::PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (!::IsDialogMessageW(dialog_, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  // The owner is enabled first, so that it becomes the active window again.
  if (owner)
    ::EnableWindow(owner, TRUE);
  ::DestroyWindow(dialog_);
  return answer_;
}

LRESULT CALLBACK TMessageDialog::WindowProc(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* dialog = static_cast<TMessageDialog*>(create->lpCreateParams);
    dialog->dialog_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(dialog));
  }
  auto* dialog = reinterpret_cast<TMessageDialog*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!dialog)
    return ::DefWindowProcW(window, message, wparam, lparam);
  return dialog->HandleMessage(message, wparam, lparam);
}

LRESULT TMessageDialog::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      if (id >= kFirstButtonId && id < kFirstButtonId + static_cast<int>(buttons_.size()))
        Finish(buttons_[static_cast<std::size_t>(id - kFirstButtonId)].Answer);
      else if (id == IDCANCEL)  // Escape
        Finish(DismissAnswer(content_.Buttons));
      return 0;
    }
    case DM_GETDEFID:
      return MAKELRESULT(kFirstButtonId, DC_HASDEFID);
    case WM_CLOSE:
      Finish(DismissAnswer(content_.Buttons));
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint{};
      const HDC dc = ::BeginPaint(dialog_, &paint);
      if (icon_) {
        ::DrawIconEx(dc, icon_rect_.Left, icon_rect_.Top, icon_, icon_rect_.Width,
                     icon_rect_.Height, 0, nullptr, DI_NORMAL);
      }
      ::EndPaint(dialog_, &paint);
      return 0;
    }
    case WM_CTLCOLORSTATIC:
      ::SetBkMode(reinterpret_cast<HDC>(wparam), TRANSPARENT);
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(dialog_, GWLP_USERDATA, 0);
      dialog_ = nullptr;
      return 0;
    default:
      return ::DefWindowProcW(dialog_, message, wparam, lparam);
  }
}

}  // namespace

TMessageAnswer ShowMessageDialog(HWND owner, int pixels_per_inch, HFONT font,
                                 const TMessageBoxContent& content,
                                 const std::function<bool()>& abandon) {
  TMessageDialog dialog(content, pixels_per_inch, font);
  return dialog.Run(owner, abandon);
}

}  // namespace kv
