#include "app/MessageDialog_win32.h"

#include <oleacc.h>

#include <optional>
#include <vector>

#include "base/Failure.h"
#include "base/WinText_win32.h"
#include "ui/AccessibleName_win32.h"
#include "ui/GdiHandles_win32.h"
#include "ui/Window_win32.h"
#include "ui/ZNTModuleIcon_win32.h"

namespace kv {

namespace {

constexpr wchar_t kDialogClass[] = L"TKVMessageDialog";
constexpr int kFirstButtonId = kFirstControlId;
constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kDialogExStyle = WS_EX_DLGMODALFRAME;
// Long words without spaces (file names) are broken at the right edge as well.
constexpr UINT kTextFormat = DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_EXPANDTABS;

const wchar_t* IconName(TMessageKind kind) {
  return kind == TMessageKind::kWarning       ? IDI_WARNING
         : kind == TMessageKind::kInformation ? IDI_INFORMATION
                                              : IDI_ERROR;
}

// The platform's sound of the kind.
UINT SoundOf(TMessageKind kind) {
  return kind == TMessageKind::kWarning       ? MB_ICONWARNING
         : kind == TMessageKind::kInformation ? MB_ICONINFORMATION
                                              : MB_ICONERROR;
}

class TMessageDialog final : public TWindow {
 public:
  TMessageDialog(const TMessageBoxContent& content, int pixels_per_inch)
      : content_(content),
        buttons_(MessageBoxButtons(content.Buttons, UiLanguage())),
        title_(MessageTitle(content.Kind, UiLanguage())),
        pixels_per_inch_(pixels_per_inch),
        font_(MakeFont(FormFontName(pixels_per_inch),
                       ScaleToPixelsPerInch(kMessageFontHeight, pixels_per_inch))),
        answer_(DismissAnswer(content.Buttons)) {}
  ~TMessageDialog() override { DestroyHandle(); }

  TMessageAnswer Run(HWND owner, const std::function<bool()>& abandon);

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  TMessageDialogLayout Measure(const std::wstring& text) const;
  bool CreateControls(const TMessageDialogLayout& layout, const std::wstring& text);
  void Finish(TMessageAnswer answer) {
    answer_ = answer;
    done_ = true;
  }

  const TMessageBoxContent& content_;
  const std::vector<TMessageButton> buttons_;
  const std::string title_;
  const int pixels_per_inch_;
  const TFont font_;
  TIcon icon_;
  ScreenRect icon_rect_;
  TMessageAnswer answer_;
  bool done_ = false;
};

TMessageDialogLayout TMessageDialog::Measure(const std::wstring& text) const {
  RECT bounds{0, 0, MaxMessageTextWidth(pixels_per_inch_), 0};
  const TScreenDC screen = ScreenDC();
  const TSelection font(screen.get(), font_.get());
  ::DrawTextW(screen.get(), text.c_str(), static_cast<int>(text.size()), &bounds,
              DT_CALCRECT | kTextFormat);
  return LayoutMessageDialog(pixels_per_inch_, bounds.right - bounds.left,
                             bounds.bottom - bounds.top, buttons_.size());
}

bool TMessageDialog::CreateControls(const TMessageDialogLayout& layout, const std::wstring& text) {
  const ScreenRect& t = layout.Text;
  if (!CreateChildControl(handle_, L"STATIC", text, SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, 0,
                          t.Left, t.Top, t.Width(), t.Height(), -1, font_.get())) {
    return false;
  }
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    const DWORD style = WS_TABSTOP | (i == 0 ? BS_DEFPUSHBUTTON | WS_GROUP : BS_PUSHBUTTON);
    const ScreenRect& b = layout.Buttons[i];
    if (!CreateChildControl(handle_, L"BUTTON", Utf8ToWide(buttons_[i].Caption), style, 0, b.Left,
                            b.Top, b.Width(), b.Height(), kFirstButtonId + static_cast<int>(i),
                            font_.get())) {
      return false;
    }
  }
  icon_rect_ = layout.Icon;
  icon_.reset(
      LoadModuleIcon(nullptr, IconName(content_.Kind), layout.Icon.Width(), layout.Icon.Height()));
  return true;
}

TMessageAnswer TMessageDialog::Run(HWND owner, const std::function<bool()>& abandon) {
  const std::wstring text = Utf8ToWide(content_.Text);
  const TMessageDialogLayout layout = Measure(text);
  const SIZE size = WindowSizeForClient(layout.ClientWidth, layout.ClientHeight, kDialogStyle,
                                        kDialogExStyle, WindowPixelsPerInch(owner));
  // Over the owner while it is on the screen, else on its monitor's work area.
  std::optional<ScreenRect> over;
  RECT owner_rect{};
  if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner) &&
      ::GetWindowRect(owner, &owner_rect)) {
    over = FromRect(owner_rect);
  }
  const ScreenRect place = PlaceMessageBox(FromRect(WorkAreaOf(owner)), over, size.cx, size.cy);
  if (!CreateOfClass(kDialogClass, 0, ::GetSysColorBrush(COLOR_BTNFACE), kDialogExStyle,
                     kDialogStyle, Utf8ToWide(title_), ToRect(place), owner) ||
      !CreateControls(layout, text)) {
    ::DestroyWindow(handle_);  // none when it was not created: nothing happens
    return answer_;
  }
  // An owner disabled already (by another box) stays so.
  const bool disable_owner = owner && ::IsWindowEnabled(owner);
  if (disable_owner)
    ::EnableWindow(owner, FALSE);
  ::ShowWindow(handle_, SW_SHOWNORMAL);
  ::SetFocus(::GetDlgItem(handle_, kFirstButtonId));
  // Heard as an alert, with the platform's sound of its kind.
  AnnounceAlert(handle_);
  ::MessageBeep(SoundOf(content_.Kind));
  RunMessages(
      handle_, [&] { return done_ || !handle_ || (abandon && abandon()); }, true);
  // The owner is enabled first, so that it becomes the active window again.
  if (disable_owner)
    ::EnableWindow(owner, TRUE);
  ::DestroyWindow(handle_);
  return answer_;
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
      const HDC dc = ::BeginPaint(handle_, &paint);
      if (icon_) {
        ::DrawIconEx(dc, icon_rect_.Left, icon_rect_.Top, icon_.get(), icon_rect_.Width(),
                     icon_rect_.Height(), 0, nullptr, DI_NORMAL);
      }
      ::EndPaint(handle_, &paint);
      return 0;
    }
    case WM_CTLCOLORSTATIC:
      return StaticColours(reinterpret_cast<HDC>(wparam), false);
    case WM_GETOBJECT: {  // an alert named by its title, its text the description
      LRESULT result = 0;
      return AnswerGetObject(handle_, wparam, lparam,
                             {Utf8ToWide(title_), ROLE_SYSTEM_ALERT, Utf8ToWide(content_.Text)},
                             result)
                 ? result
                 : DefaultProc(message, wparam, lparam);
    }
    default:
      return DefaultProc(message, wparam, lparam);
  }
}

}  // namespace

TMessageAnswer ShowMessageDialog(HWND owner, int pixels_per_inch, const TMessageBoxContent& content,
                                 const std::function<bool()>& abandon) {
  TMessageDialog dialog(content, pixels_per_inch);
  return dialog.Run(owner, abandon);
}

void ReportWindowFailure(HWND window, const std::string& text) {
  static bool reporting = false;
  if (reporting)
    return;
  reporting = true;
  const HWND top = window ? ::GetAncestor(window, GA_ROOT) : nullptr;
  // A report that fails in turn has nowhere to go.
  RunIgnoringFailure([&] {
    ShowMessageDialog(
        top, WindowPixelsPerInch(top),
        {TMessageKind::kError, TMessageButtons::kOk, FailureInLanguage(text, UiLanguage())},
        nullptr);
  });
  reporting = false;
}

}  // namespace kv
