// TKVSetupConfiguratorMainForm: the program's working window. Its layout, texts and the store
// action are portable (MainFormLayout, MainFormDialogs, StoreAction); this file puts them on
// screen and answers the action's calls with controls, file dialogs and message boxes.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <array>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/FileDialog_win32.h"
#include "app/MainFormDialogs.h"
#include "app/MainFormLayout.h"
#include "app/MainWindow_win32.h"
#include "app/MessageDialog_win32.h"
#include "app/SetupView_win32.h"
#include "app/StoreAction.h"
#include "base/Failure.h"
#include "base/WinText_win32.h"
#include "ui/GdiHandles_win32.h"
#include "ui/Window_win32.h"
#include "ui/ZNTButtonsEx_win32.h"
#include "ui/ZNTImageList.h"

namespace kv {

namespace {

constexpr wchar_t kMainFormClass[] = L"TKVSetupConfiguratorMainForm";
constexpr int kExitSuccess = 0;
constexpr DWORD kFormStyle = WS_OVERLAPPEDWINDOW;
// Control ids: the table's index plus this, clear of IDOK and IDCANCEL, which Enter and Escape
// send and which the window ignores.
constexpr int kFirstControlId = 100;
constexpr std::size_t kControlCount = 13;
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr wchar_t kProgramIconName[] = L"MAINICON";
// The system menu's own items; their low four bits are the system's.
constexpr UINT kShowSetupCommand = 0x0100;
constexpr UINT kShowStoredCommand = 0x0110;
constexpr wchar_t kShowSetupItem[] = L"Show what a setup file holds...\tCtrl+I";
constexpr wchar_t kShowStoredItem[] = L"Show what the new setup file holds";
constexpr std::tuple<TMainControl, TBrowseField, TMainControl> kBrowseButtons[] = {
    {TMainControl::sbOriginalSetupFile, TBrowseField::kOriginalSetupFile,
     TMainControl::edOriginalSetupFile},
    {TMainControl::sbKVConfigFile, TBrowseField::kKVConfigFile, TMainControl::edKVConfigFile},
    {TMainControl::sbAutoinstallSRGFile, TBrowseField::kAutoinstallSRG,
     TMainControl::edAutoinstallSRG}};

std::string ControlText(HWND control) {
  const int length = ::GetWindowTextLengthW(control);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(control, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return WideToUtf8(text);
}

// The full names of the files dropped, in their order; the drop is finished.
std::vector<std::string> DroppedFiles(HDROP drop) {
  std::vector<std::string> files;
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
    std::wstring name(static_cast<std::size_t>(length) + 1, L'\0');
    name.resize(::DragQueryFileW(drop, i, name.data(), length + 1));
    if (!name.empty())
      files.push_back(WideToUtf8(name));
  }
  ::DragFinish(drop);
  return files;
}

// Edit boxes take a file dropped from Explorer: its full name replaces the text.
class TFileDropEdit final : public TSubclass {
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override {
    if (message != WM_DROPFILES)
      return DefaultProc(message, wparam, lparam);
    const std::vector<std::string> files = DroppedFiles(reinterpret_cast<HDROP>(wparam));
    if (!files.empty())
      ::SetWindowTextW(handle_, Utf8ToWide(files.front()).c_str());
    return 0;
  }
};

class TKVSetupConfiguratorMainForm final : public TWindow, public TStoreWindow {
 public:
  TKVSetupConfiguratorMainForm() = default;

  bool Create();

  // TStoreWindow
  std::string ReadField(TStoreField field) override;
  bool ServerUrlSelected() override;
  void EnableStoreButton(bool enabled) override;
  TMessageAnswer ShowMessageBox(const TMessageBoxContent& content) override {
    return ShowMessageDialog(handle_, pixels_per_inch_, content,
                             [this] { return close_requested_; });
  }
  bool ChooseOutputFile(const TFileDialogSetup& setup, std::string& file_name) override {
    return save_dialog_.Execute(handle_, setup, file_name);
  }
  void Pump() override { RunMessages(handle_, nullptr, false); }
  bool CloseRequested() override { return close_requested_; }
  // Ctrl+I: the system menu's item that shows a setup file.
  bool TakeKey(const MSG& message) noexcept override {
    if (message.wParam != 'I' || ::GetKeyState(VK_CONTROL) >= 0 || ::GetKeyState(VK_MENU) < 0)
      return false;
    ::PostMessageW(handle_, WM_SYSCOMMAND, kShowSetupCommand, 0);
    return true;
  }

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void Detaching() noexcept override { controls_.fill(nullptr); }

  void FormCreate();
  void CreateControls();
  HWND CreateSpeedButton(const TMainControlInfo& info, const ScreenRect& rect);
  HWND CreateStoreButton(const TMainControlInfo& info, const ScreenRect& rect);
  void PlaceControls();
  void ApplyPixelsPerInch(int pixels_per_inch, const RECT* suggested);
  void FormActivate(bool active);
  void rbKVClick(TMainControl clicked);
  void BrowseClick(TBrowseField field, TMainControl edit);
  void btStoreToSetupClick();
  void OnCommand(int id, int code);
  void OnGetMinMaxInfo(MINMAXINFO& info) const;
  bool OnSysCommand(UINT command);
  void OnClose();

  HWND Control(TMainControl id) const { return controls_[static_cast<std::size_t>(id)]; }
  TZNTSpeedButtonEx* SpeedButton(TMainControl id) const {
    return speed_buttons_[static_cast<std::size_t>(id)];
  }
  // The image list and its two companions, the speed buttons and the store button belong to
  // this owner; the list is filled from the program's icon groups.
  void CreateComponents();

  TZNTComponent components_;
  TZNTImageListResource* images_ = nullptr;
  std::array<TZNTSpeedButtonEx*, kControlCount> speed_buttons_{};
  TZNTBitBtnEx* store_button_ = nullptr;
  std::array<HWND, kControlCount> controls_{};
  std::array<TFileDropEdit, kControlCount> edits_;
  TFont font_;
  int pixels_per_inch_ = kDesignPixelsPerInch;
  std::string load_error_;  // of the image list, shown once the window is there
  TStoreToSetupAction action_;
  TFileDialog open_dialog_;
  TFileDialog save_dialog_;
  TFileDialog show_dialog_;
  TSetupViews views_;
  bool in_action_ = false;
  bool close_requested_ = false;
  bool store_had_focus_ = false;
  HWND focus_before_deactivation_ = nullptr;
};

bool TKVSetupConfiguratorMainForm::Create() {
  pixels_per_inch_ = WindowPixelsPerInch(nullptr);
  const SIZE size =
      WindowSizeForClient(ScaleToPixelsPerInch(kMainFormClientWidth, pixels_per_inch_),
                          ScaleToPixelsPerInch(kMainFormClientHeight, pixels_per_inch_), kFormStyle,
                          0, pixels_per_inch_);
  const ScreenRect place = CentredWindowRect(FromRect(WorkAreaOf(nullptr)), size.cx, size.cy);
  CreateComponents();
  // Files dropped on the window outside the edit boxes open their views.
  if (!CreateOfClass(kMainFormClass, 0, ::GetSysColorBrush(COLOR_BTNFACE), WS_EX_ACCEPTFILES,
                     kFormStyle, Utf8ToWide(kMainFormCaption), ToRect(place), nullptr)) {
    return false;
  }
  // A monitor of another resolution than the system's: the window takes its size there.
  if (WindowPixelsPerInch(handle_) != pixels_per_inch_)
    ApplyPixelsPerInch(WindowPixelsPerInch(handle_), nullptr);
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  for (const auto& [kind, metric] : {std::pair{ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}}) {
    const int size = ::GetSystemMetrics(metric);
    const HANDLE icon = ::LoadImageW(instance, kProgramIconName, IMAGE_ICON, size, size, LR_SHARED);
    ::SendMessageW(handle_, WM_SETICON, kind, reinterpret_cast<LPARAM>(icon));
  }
  const HMENU system_menu = ::GetSystemMenu(handle_, FALSE);
  ::AppendMenuW(system_menu, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(system_menu, MF_STRING, kShowSetupCommand, kShowSetupItem);
  ::ShowWindow(handle_, SW_SHOWNORMAL);
  ::SetFocus(Control(TMainControl::edOriginalSetupFile));
  if (!load_error_.empty())
    ReportWindowFailure(handle_, load_error_);
  return true;
}

void TKVSetupConfiguratorMainForm::CreateComponents() {
  images_ = components_.Adopt(std::make_unique<TZNTImageListResource>(&components_));
  images_->SetName("ZNTImageListResource");
  images_->SetResourceList({"XOPEN", "XSAVE", "XWEB"});
  for (const TMainControlInfo& info : MainFormControls()) {
    if (info.Kind == TControlKind::kSpeedButton) {
      speed_buttons_[static_cast<std::size_t>(info.Id)] =
          components_.Adopt(std::make_unique<TZNTSpeedButtonEx>(&components_));
    }
  }
  store_button_ = components_.Adopt(std::make_unique<TZNTBitBtnEx>(&components_));
  // The description is complete: the list loads its images. Without a native list the buttons
  // show no glyphs, and the window works all the same; the failure is shown.
  RunReportingFailure([this] { images_->Loaded(); }, load_error_);
}

LRESULT TKVSetupConfiguratorMainForm::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  if (TZNTBitBtnEx::ReflectMessage(message, wparam, lparam, result))
    return result;
  switch (message) {
    case WM_CREATE:
      FormCreate();
      return 0;
    case WM_SIZE:
      PlaceControls();
      return 0;
    case WM_GETMINMAXINFO:
      OnGetMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lparam));
      return 0;
    case WM_DPICHANGED:
      ApplyPixelsPerInch(HIWORD(wparam), reinterpret_cast<const RECT*>(lparam));
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_GETFONT:  // the glyph buttons draw their captions in the window's font
      return reinterpret_cast<LRESULT>(font_.get());
    case WM_ACTIVATE:
      FormActivate(LOWORD(wparam) != WA_INACTIVE);
      return 0;
    case WM_CTLCOLORSTATIC: {
      // Labels, radio buttons and disabled edit boxes: the colour of button faces; Label1 blue.
      const HDC dc = reinterpret_cast<HDC>(wparam);
      ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
      if (reinterpret_cast<HWND>(lparam) == Control(TMainControl::Label1))
        ::SetTextColor(dc, kBlue);
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_SYSCOMMAND:
      return OnSysCommand(static_cast<UINT>(wparam & 0xFFF0))
                 ? 0
                 : DefaultProc(message, wparam, lparam);
    case WM_DROPFILES:
      for (const std::string& file : DroppedFiles(reinterpret_cast<HDROP>(wparam)))
        views_.Show(handle_, file);
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    default:
      return DefaultProc(message, wparam, lparam);
  }
}

// As a dialog does: the control that had the focus gets it back with the window.
void TKVSetupConfiguratorMainForm::FormActivate(bool active) {
  if (!active) {
    const HWND focus = ::GetFocus();
    if (focus && ::IsChild(handle_, focus))
      focus_before_deactivation_ = focus;
  } else if (focus_before_deactivation_ && ::IsWindow(focus_before_deactivation_) &&
             ::IsWindowEnabled(focus_before_deactivation_)) {
    ::SetFocus(focus_before_deactivation_);
  } else {
    ::SetFocus(Control(TMainControl::edOriginalSetupFile));
  }
}

void TKVSetupConfiguratorMainForm::FormCreate() {
  font_ = MakeFont(kFormFontName, ScaleToPixelsPerInch(kMainFormFontHeight, pixels_per_inch_));
  // Without companions the buttons draw their glyphs from the list itself.
  RunReportingFailure(
      [this] {
        images_->CreateHotImages();
        images_->CreateDisabledImages();
      },
      load_error_);
  CreateControls();
  rbKVClick(TMainControl::rbKVURL);
}

void TKVSetupConfiguratorMainForm::CreateControls() {
  RECT client{};
  ::GetClientRect(handle_, &client);
  // Created in the table's order, which is the tab order; every stop is a group of its own, so
  // the arrow keys never move the focus or the radio selection.
  for (const TMainControlInfo& info : MainFormControls()) {
    const int id = kFirstControlId + static_cast<int>(info.Id);
    const ScreenRect rect = MainControlRect(info.Id, pixels_per_inch_, client.right);
    const wchar_t* control_class = L"BUTTON";
    DWORD style = WS_GROUP | BS_RADIOBUTTON;
    DWORD ex_style = 0;
    if (info.Kind == TControlKind::kLabel) {
      control_class = L"STATIC";
      style = SS_LEFT | SS_NOPREFIX;
    } else if (info.Kind == TControlKind::kEdit) {
      control_class = L"EDIT";
      style = WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL;
      ex_style = WS_EX_CLIENTEDGE | WS_EX_ACCEPTFILES;
    }
    const HWND control =
        info.Kind == TControlKind::kSpeedButton ? CreateSpeedButton(info, rect)
        : info.Kind == TControlKind::kBitButton
            ? CreateStoreButton(info, rect)
            : CreateChildControl(handle_, control_class, Utf8ToWide(info.Caption), style, ex_style,
                                 rect.Left, rect.Top, rect.Width(), rect.Height(), id, font_.get());
    if (info.Kind == TControlKind::kEdit)
      edits_[static_cast<std::size_t>(info.Id)].Attach(control);
    if (!control)
      continue;
    ::SetWindowLongPtrW(control, GWLP_ID, id);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    controls_[static_cast<std::size_t>(info.Id)] = control;
  }
}
HWND TKVSetupConfiguratorMainForm::CreateSpeedButton(const TMainControlInfo& info,
                                                     const ScreenRect& rect) {
  TZNTSpeedButtonEx* button = SpeedButton(info.Id);
  button->SetImages(images_);
  button->SetImageIndex(info.ImageIndex);
  button->SetSize(rect.Width(), rect.Height());
  // Each browse button fills the edit box left of it.
  for (const auto& [speed, field, edit] : kBrowseButtons) {
    if (speed == info.Id)
      button->OnClick = [this, field, edit] { BrowseClick(field, edit); };
  }
  return button->Create(handle_, rect.Left, rect.Top) ? button->Handle() : nullptr;
}

HWND TKVSetupConfiguratorMainForm::CreateStoreButton(const TMainControlInfo& info,
                                                     const ScreenRect& rect) {
  store_button_->SetCaption(info.Caption);
  store_button_->SetImages(images_);
  store_button_->SetImageIndex(info.ImageIndex);
  store_button_->OnClick = [this] { btStoreToSetupClick(); };
  if (!store_button_->Create(handle_, rect.Left, rect.Top, rect.Width(), rect.Height()))
    return nullptr;
  const HWND button = store_button_->Handle();
  // A group of its own, so that the arrow keys do not move the focus away from it.
  ::SetWindowLongPtrW(button, GWL_STYLE, ::GetWindowLongPtrW(button, GWL_STYLE) | WS_GROUP);
  return button;
}

void TKVSetupConfiguratorMainForm::PlaceControls() {
  if (!Control(TMainControl::btStoreToSetup))
    return;
  RECT client{};
  ::GetClientRect(handle_, &client);
  if (client.right <= 0)  // minimised
    return;
  const HDWP positions = ::BeginDeferWindowPos(static_cast<int>(kControlCount));
  HDWP next = positions;
  for (const TMainControlInfo& info : MainFormControls()) {
    const ScreenRect rect = MainControlRect(info.Id, pixels_per_inch_, client.right);
    if (next) {
      next = ::DeferWindowPos(next, Control(info.Id), nullptr, rect.Left, rect.Top, rect.Width(),
                              rect.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  if (next)
    ::EndDeferWindowPos(next);
}

// The controls and the font take the new resolution; the client area keeps its height in
// design units and scales its width, in a frame as the window is drawn now.
void TKVSetupConfiguratorMainForm::ApplyPixelsPerInch(int pixels_per_inch, const RECT* suggested) {
  if (pixels_per_inch <= 0)
    return;
  RECT client{};
  ::GetClientRect(handle_, &client);
  const int client_width = ::MulDiv(client.right, pixels_per_inch, pixels_per_inch_);
  pixels_per_inch_ = pixels_per_inch;
  // The former font is deleted when every control has left it.
  const TFont old_font = std::exchange(
      font_, MakeFont(kFormFontName, ScaleToPixelsPerInch(kMainFormFontHeight, pixels_per_inch)));
  for (const HWND control : controls_)
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
  const SIZE size = WindowSizeForClient(
      client_width, ScaleToPixelsPerInch(kMainFormClientHeight, pixels_per_inch), kFormStyle, 0,
      WindowPixelsPerInch(handle_));
  RECT frame{};
  ::GetWindowRect(handle_, &frame);
  const RECT& at = suggested ? *suggested : frame;
  ::SetWindowPos(handle_, nullptr, at.left, at.top, size.cx, size.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  PlaceControls();
  ::RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TKVSetupConfiguratorMainForm::OnGetMinMaxInfo(MINMAXINFO& info) const {
  const SIZE frame = WindowSizeForClient(0, 0, kFormStyle, 0, WindowPixelsPerInch(handle_));
  const TMainFormSizeLimits limits = MainFormSizeLimits(pixels_per_inch_, frame.cx, frame.cy);
  info.ptMinTrackSize.x = limits.MinWidth;
  info.ptMinTrackSize.y = limits.FixedHeight;
  info.ptMaxTrackSize.y = limits.FixedHeight;
  // Maximised, the window spans the width of the screen at its fixed height.
  info.ptMaxSize.y = limits.FixedHeight;
}

void TKVSetupConfiguratorMainForm::OnCommand(int id, int code) {
  // Enter sends IDOK: it presses the store button when that has the focus (an owner-drawn
  // button is no push button to the dialog handling) and does nothing in an edit box. Escape
  // (IDCANCEL) does nothing.
  if (id == IDOK) {
    const HWND button = Control(TMainControl::btStoreToSetup);
    if (button && ::GetFocus() == button && ::IsWindowEnabled(button))
      btStoreToSetupClick();
    return;
  }
  for (const TMainControl radio : {TMainControl::rbKVURL, TMainControl::rbKVConfig}) {
    if (code == BN_CLICKED && id == kFirstControlId + static_cast<int>(radio))
      rbKVClick(radio);
  }
}

void TKVSetupConfiguratorMainForm::rbKVClick(TMainControl clicked) {
  const bool server_url = clicked == TMainControl::rbKVURL;
  for (const TMainControl radio : {TMainControl::rbKVURL, TMainControl::rbKVConfig}) {
    const bool checked = radio == clicked;
    ::SendMessageW(Control(radio), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    // The pair is one tab stop: the selected button.
    const LONG_PTR style = ::GetWindowLongPtrW(Control(radio), GWL_STYLE);
    ::SetWindowLongPtrW(Control(radio), GWL_STYLE,
                        checked ? style | WS_TABSTOP : style & ~static_cast<LONG_PTR>(WS_TABSTOP));
  }
  const TChoiceStates states = ChoiceStates(server_url);
  ::EnableWindow(Control(TMainControl::edKVServerURL), states.ServerURLEnabled);
  ::EnableWindow(Control(TMainControl::edKVConfigFile), states.ConfigFileEnabled);
  SpeedButton(TMainControl::sbKVConfigFile)->SetEnabled(states.ConfigFileEnabled);
}

void TKVSetupConfiguratorMainForm::BrowseClick(TBrowseField field, TMainControl edit) {
  std::string file_name;
  if (open_dialog_.Execute(handle_, BrowseDialogSetup(field, ControlText(Control(edit))),
                           file_name))
    ::SetWindowTextW(Control(edit), Utf8ToWide(file_name).c_str());
}

// The items that show a setup file: the one chosen in the open dialog (not during a store, whose
// dialogs come first) and the one the last store wrote.
bool TKVSetupConfiguratorMainForm::OnSysCommand(UINT command) {
  std::string file_name;
  if (command == kShowSetupCommand) {
    if (!in_action_ &&
        show_dialog_.Execute(handle_, BrowseDialogSetup(TBrowseField::kShownSetupFile, ""),
                             file_name))
      views_.Show(handle_, file_name);
    return true;
  }
  if (command != kShowStoredCommand)
    return false;
  if (!action_.LastStoredFile().empty())
    views_.Show(handle_, action_.LastStoredFile());
  return true;
}

void TKVSetupConfiguratorMainForm::btStoreToSetupClick() {
  if (in_action_)
    return;
  in_action_ = true;
  action_.Run(*this);  // throws nothing: it reports its failures, also those of its reports
  in_action_ = false;
  const HMENU system_menu = ::GetSystemMenu(handle_, FALSE);
  if (!action_.LastStoredFile().empty() &&
      ::GetMenuState(system_menu, kShowStoredCommand, MF_BYCOMMAND) == static_cast<UINT>(-1))
    ::AppendMenuW(system_menu, MF_STRING, kShowStoredCommand, kShowStoredItem);
  if (close_requested_ && handle_)
    ::DestroyWindow(handle_);
}

void TKVSetupConfiguratorMainForm::OnClose() {
  if (!in_action_) {
    ::DestroyWindow(handle_);
    return;
  }
  // The action ends at its next step; the window closes when it has.
  close_requested_ = true;
  ::ShowWindow(handle_, SW_HIDE);
}

std::string TKVSetupConfiguratorMainForm::ReadField(TStoreField field) {
  // The edit boxes in the order of the fields.
  constexpr TMainControl kFieldEdits[] = {TMainControl::edOriginalSetupFile,
                                          TMainControl::edKVServerURL, TMainControl::edKVConfigFile,
                                          TMainControl::edAutoinstallSRG};
  return ControlText(Control(kFieldEdits[static_cast<std::size_t>(field)]));
}

bool TKVSetupConfiguratorMainForm::ServerUrlSelected() {
  return ::SendMessageW(Control(TMainControl::rbKVURL), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TKVSetupConfiguratorMainForm::EnableStoreButton(bool enabled) {
  const HWND button = Control(TMainControl::btStoreToSetup);
  if (!enabled) {
    store_had_focus_ = ::GetFocus() == button;
    store_button_->SetEnabled(false);
    return;
  }
  store_button_->SetEnabled(true);
  if (store_had_focus_ && !close_requested_)
    ::SetFocus(button);
  store_had_focus_ = false;
}

}  // namespace

int RunMainWindow() {
  TKVSetupConfiguratorMainForm form;
  if (form.Create())
    RunMessages(
        form.Handle(), [&form] { return form.Handle() == nullptr; }, true);
  return kExitSuccess;
}

}  // namespace kv
