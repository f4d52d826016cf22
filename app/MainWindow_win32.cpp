// TKVSetupConfiguratorMainForm: the program's working window. Its layout, texts and store action
// are portable; this file puts them on screen and answers the action with dialogs and boxes.
#include <windows.h>

#include <ole2.h>

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "app/FileDialog_win32.h"
#include "app/MainFormControls_win32.h"
#include "app/MainFormDialogs.h"
#include "app/MainFormLayout.h"
#include "app/MainWindow_win32.h"
#include "app/MessageDialog_win32.h"
#include "app/SetupViewMenu_win32.h"
#include "app/StoreAction.h"
#include "app/TaskbarProgress_win32.h"
#include "base/WinText_win32.h"
#include "ui/GdiHandles_win32.h"
#include "ui/Window_win32.h"

namespace kv {

namespace {

constexpr wchar_t kMainFormClass[] = L"TKVSetupConfiguratorMainForm";
constexpr int kExitSuccess = 0;
constexpr DWORD kFormStyle = WS_OVERLAPPEDWINDOW;

int ControlId(TMainControl control) {
  return kFirstControlId + static_cast<int>(control);
}

class TKVSetupConfiguratorMainForm final : public TWindow, public TStoreWindow {
 public:
  TKVSetupConfiguratorMainForm() : action_(TStoreServices{{}, ParseConfigPackage, UiLanguage()}) {}
  ~TKVSetupConfiguratorMainForm() override { DestroyHandle(); }

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
  // The taskbar button shows the copy's progress where the shell offers that.
  void ShowProgress(std::int64_t done, std::int64_t total) override {
    taskbar_.Show(done, total);
    Pump();
  }
  bool CloseRequested() override { return close_requested_; }
  bool TakeKey(const MSG& message) noexcept override { return view_menu_.TakeKey(message); }

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void Detaching() noexcept override { controls_.fill(nullptr); }

  void FormCreate();
  void CreateControls();
  HWND CreateControl(const TMainControlInfo& info, const ScreenRect& rect);
  void AddTooltips();
  void FitCaptions();
  void PlaceControls();
  void ApplyPixelsPerInch(int pixels_per_inch, const RECT* suggested);
  void ColoursChanged();
  void FormActivate(bool active);
  void rbKVClick(TMainControl clicked);
  void BrowseClick(TMainControl browse_button);
  void btStoreToSetupClick();
  void OnCommand(int id, int code);
  void OnGetMinMaxInfo(MINMAXINFO& info) const;
  void OnClose();

  HWND Control(TMainControl id) const { return controls_[static_cast<std::size_t>(id)]; }
  ScreenRect ControlRect(TMainControl id, int client_width) const {
    return MainControlRect(id, pixels_per_inch_, client_width, fitted_ ? &fit_ : nullptr);
  }

  const TWindowTexts& texts_ = UiTexts();
  TMainFormGlyphs glyphs_;
  std::array<HWND, kMainControlCount> controls_{};
  std::array<TMainFormEdit, kMainControlCount> edits_;
  TFont font_;
  int pixels_per_inch_ = kDesignPixelsPerInch;
  // Captions in another language than English: the widths they need.
  bool fitted_ = false;
  TMainFormFit fit_;
  std::string load_error_;  // of the image list, shown once the window is there
  TStoreToSetupAction action_;
  TFileDialog open_dialog_;
  TFileDialog save_dialog_;
  TSetupViewMenu view_menu_;
  TTaskbarProgress taskbar_;
  bool in_action_ = false;
  bool close_requested_ = false;
  bool store_had_focus_ = false;
  HWND focus_before_deactivation_ = nullptr;
};

bool TKVSetupConfiguratorMainForm::Create() {
  pixels_per_inch_ = WindowPixelsPerInch(nullptr);
  font_ = MakeFont(FormFontName(pixels_per_inch_),
                   ScaleToPixelsPerInch(kMainFormFontHeight, pixels_per_inch_));
  FitCaptions();
  const SIZE size = WindowSizeForClient(
      std::max(ScaleToPixelsPerInch(kMainFormClientWidth, pixels_per_inch_), fit_.ClientWidth),
      ScaleToPixelsPerInch(kMainFormClientHeight, pixels_per_inch_), kFormStyle, 0,
      pixels_per_inch_);
  const ScreenRect place = CentredWindowRect(FromRect(WorkAreaOf(nullptr)), size.cx, size.cy);
  glyphs_.Load(pixels_per_inch_, load_error_);
  // Files dropped on the window outside the edit boxes open their views.
  if (!CreateOfClass(kMainFormClass, 0, ::GetSysColorBrush(COLOR_BTNFACE), WS_EX_ACCEPTFILES,
                     kFormStyle, Utf8ToWide(texts_.MainCaption), ToRect(place), nullptr)) {
    return false;
  }
  taskbar_.Attach(handle_);
  // A monitor of another resolution than the system's: the window takes its size there.
  if (WindowPixelsPerInch(handle_) != pixels_per_inch_)
    ApplyPixelsPerInch(WindowPixelsPerInch(handle_), nullptr);
  SetProgramIcons(handle_);
  view_menu_.Attach(handle_, texts_);
  ::ShowWindow(handle_, SW_SHOWNORMAL);
  ::SetFocus(Control(TMainControl::edOriginalSetupFile));
  if (!load_error_.empty())
    ReportWindowFailure(handle_, load_error_);
  return true;
}

LRESULT TKVSetupConfiguratorMainForm::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  if (TZNTBitBtnEx::ReflectMessage(message, wparam, lparam, result))
    return result;
  if (taskbar_.TakeMessage(message))
    return 0;
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
    case WM_ENABLE:  // a dialog that closed may have activated the window while it was disabled
      if (wparam && ::GetActiveWindow() == handle_)
        FormActivate(true);
      return 0;
    case WM_CTLCOLORSTATIC:  // labels, radio buttons, disabled edit boxes; Label1 is the hint
      return StaticColours(reinterpret_cast<HDC>(wparam),
                           reinterpret_cast<HWND>(lparam) == Control(TMainControl::Label1));
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
      ColoursChanged();
      return DefaultProc(message, wparam, lparam);
    case WM_SYSCOMMAND:
      return view_menu_.OnSysCommand(static_cast<UINT>(wparam & 0xFFF0), in_action_)
                 ? 0
                 : DefaultProc(message, wparam, lparam);
    case WM_DROPFILES:
      view_menu_.OnDropFiles(reinterpret_cast<HDROP>(wparam));
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
  glyphs_.CreateCompanions(load_error_);
  CreateControls();
  AddTooltips();
  rbKVClick(TMainControl::rbKVURL);
}

// The companions take the new colours, and every control repaints.
void TKVSetupConfiguratorMainForm::ColoursChanged() {
  glyphs_.ColoursChanged();
  for (const HWND control : controls_) {
    if (control)
      ::SendMessageW(control, WM_SYSCOLORCHANGE, 0, 0);
  }
  ::RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// Other languages than English: the widths the controls need for their captions. English keeps
// the designed sizes.
void TKVSetupConfiguratorMainForm::FitCaptions() {
  fitted_ = UiLanguage() != TUiLanguage::kEnglish;
  if (fitted_)
    fit_ = MeasureMainFormFit(font_.get(), pixels_per_inch_, texts_);
}

void TKVSetupConfiguratorMainForm::CreateControls() {
  RECT client{};
  ::GetClientRect(handle_, &client);
  // Created in z-order: the two radio buttons one group; the other stops each a group of their
  // own, so the arrow keys move only between the radio buttons.
  for (const TMainControl id : MainFormCreationOrder()) {
    const TMainControlInfo& info = MainFormControl(id);
    const HWND control = CreateControl(info, ControlRect(id, client.right));
    if (!control)
      continue;
    ::SetWindowLongPtrW(control, GWLP_ID, ControlId(id));
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    controls_[static_cast<std::size_t>(id)] = control;
    if (info.Kind == TControlKind::kEdit) {
      const TMainControl browse = BrowseButtonOf(id);
      edits_[static_cast<std::size_t>(id)].Attach(control, Utf8ToWide(MainControlName(id, texts_)),
                                                  browse == id ? 0 : ControlId(browse));
    }
  }
}

HWND TKVSetupConfiguratorMainForm::CreateControl(const TMainControlInfo& info,
                                                 const ScreenRect& rect) {
  switch (info.Kind) {
    case TControlKind::kSpeedButton:
      return glyphs_.CreateSpeedButton(handle_, info, rect, MainControlName(info.Id, texts_),
                                       [this, id = info.Id] { BrowseClick(id); });
    case TControlKind::kBitButton:
      return glyphs_.CreateStoreButton(handle_, info, rect, MainControlCaption(info.Id, texts_),
                                       [this] { btStoreToSetupClick(); });
    default:
      return CreateNativeControl(handle_, info, MainControlCaption(info.Id, texts_), rect,
                                 font_.get());
  }
}

// The browse buttons' names as their tooltips.
void TKVSetupConfiguratorMainForm::AddTooltips() {
  std::vector<std::pair<HWND, std::string>> tools;
  for (const TMainControlInfo& info : MainFormControls()) {
    if (info.Kind == TControlKind::kSpeedButton)
      tools.emplace_back(Control(info.Id), MainControlName(info.Id, texts_));
  }
  CreateTooltips(handle_, tools);
}

void TKVSetupConfiguratorMainForm::PlaceControls() {
  if (!Control(TMainControl::btStoreToSetup))
    return;
  RECT client{};
  ::GetClientRect(handle_, &client);
  if (client.right <= 0)  // minimised
    return;
  const HDWP positions = ::BeginDeferWindowPos(static_cast<int>(kMainControlCount));
  HDWP next = positions;
  for (const TMainControlInfo& info : MainFormControls()) {
    const ScreenRect rect = ControlRect(info.Id, client.right);
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
  int client_width = ::MulDiv(client.right, pixels_per_inch, pixels_per_inch_);
  pixels_per_inch_ = pixels_per_inch;
  // The former font is deleted when every control has left it.
  const TFont old_font =
      std::exchange(font_, MakeFont(FormFontName(pixels_per_inch),
                                    ScaleToPixelsPerInch(kMainFormFontHeight, pixels_per_inch)));
  for (const HWND control : controls_)
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
  glyphs_.SetPixelsPerInch(pixels_per_inch);
  FitCaptions();
  client_width = std::max(client_width, fit_.ClientWidth);
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
  const TMainFormSizeLimits limits =
      MainFormSizeLimits(pixels_per_inch_, frame.cx, frame.cy, fit_.ClientWidth);
  info.ptMinTrackSize.x = limits.MinWidth;
  info.ptMinTrackSize.y = limits.FixedHeight;
  info.ptMaxTrackSize.y = limits.FixedHeight;
  // Maximised, the window spans the width of the screen at its fixed height.
  info.ptMaxSize.y = limits.FixedHeight;
}

void TKVSetupConfiguratorMainForm::OnCommand(int id, int code) {
  // Enter sends IDOK from any field (and from the store button, which is no push button to the
  // dialog handling): it stores. Escape (IDCANCEL) does nothing.
  if (id == IDOK) {
    if (::IsWindowEnabled(Control(TMainControl::btStoreToSetup)))
      btStoreToSetupClick();
    return;
  }
  if (code != BN_CLICKED)
    return;
  for (const TMainControlInfo& info : MainFormControls()) {
    if (id != ControlId(info.Id))
      continue;
    if (info.Kind == TControlKind::kRadioButton)
      rbKVClick(info.Id);
    // F4 or Alt+Down in an edit box: its browse button's click, when that is enabled.
    if (info.Kind == TControlKind::kSpeedButton && glyphs_.SpeedButton(info.Id).Enabled())
      BrowseClick(info.Id);
  }
}

void TKVSetupConfiguratorMainForm::rbKVClick(TMainControl clicked) {
  const bool server_url = clicked == TMainControl::rbKVURL;
  for (const TMainControl radio : {TMainControl::rbKVURL, TMainControl::rbKVConfig})
    SetRadioChecked(Control(radio), radio == clicked);
  const TChoiceStates states = ChoiceStates(server_url);
  ::EnableWindow(Control(TMainControl::edKVServerURL), states.ServerURLEnabled);
  ::EnableWindow(Control(TMainControl::edKVConfigFile), states.ConfigFileEnabled);
  glyphs_.SpeedButton(TMainControl::sbKVConfigFile).SetEnabled(states.ConfigFileEnabled);
}

void TKVSetupConfiguratorMainForm::BrowseClick(TMainControl browse_button) {
  using F = TBrowseField;
  const F field = browse_button == TMainControl::sbOriginalSetupFile ? F::kOriginalSetupFile
                  : browse_button == TMainControl::sbKVConfigFile    ? F::kKVConfigFile
                                                                     : F::kAutoinstallSRG;
  const HWND edit = Control(BrowseTarget(browse_button));
  std::string file_name;
  if (open_dialog_.Execute(handle_, BrowseDialogSetup(field, ControlText(edit), UiLanguage()),
                           file_name))
    ::SetWindowTextW(edit, Utf8ToWide(file_name).c_str());
}

void TKVSetupConfiguratorMainForm::btStoreToSetupClick() {
  if (in_action_)
    return;
  in_action_ = true;
  action_.Run(*this);  // throws nothing: it reports its failures, also those of its reports
  in_action_ = false;
  taskbar_.Clear();
  view_menu_.Stored(action_.LastStoredFile());
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
    glyphs_.StoreButton().SetEnabled(false);
    return;
  }
  glyphs_.StoreButton().SetEnabled(true);
  if (store_had_focus_ && !close_requested_)
    ::SetFocus(button);
  store_had_focus_ = false;
}

}  // namespace

int RunMainWindow() {
  // Screen readers reach the controls' accessible objects through COM. The windows tell the
  // system's error texts in the user's language.
  const HRESULT com = ::OleInitialize(nullptr);
  SetSystemErrorLanguage(kSystemErrorLanguageUser);
  {
    TKVSetupConfiguratorMainForm form;
    if (form.Create())
      RunMessages(
          form.Handle(), [&form] { return form.Handle() == nullptr; }, true);
  }
  if (SUCCEEDED(com))
    ::OleUninitialize();
  SetSystemErrorLanguage(kSystemErrorLanguageEnglish);
  return kExitSuccess;
}

}  // namespace kv
