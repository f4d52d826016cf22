// TKVSetupConfiguratorMainForm: the program's working window. Its layout, texts and the store
// action are portable (MainFormLayout, MainFormDialogs, StoreAction); this file puts them on
// screen and answers the action's calls with controls, file dialogs and message boxes.
#include <windows.h>

#include <cderr.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <array>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/FormClass.h"
#include "app/MainFormDialogs.h"
#include "app/MainFormLayout.h"
#include "app/MainWindow.h"
#include "app/MessageDialog.h"
#include "app/StoreAction.h"
#include "base/WinText_win32.h"
#include "ui/ZNTButtonsEx.h"
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
// File dialogs take names of up to this many characters.
constexpr std::size_t kFileNameBufferSize = 32768;
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr wchar_t kProgramIconName[] = L"MAINICON";

std::string ControlText(HWND control) {
  const int length = ::GetWindowTextLengthW(control);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(control, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return WideToUtf8(text);
}

// "Name|Patterns|..." as the dialog wants it: zero-separated, ended by two zeros.
std::wstring DialogFilter(const std::string& filter) {
  std::wstring wide = Utf8ToWide(filter);
  for (wchar_t& c : wide) {
    if (c == L'|')
      c = L'\0';
  }
  wide.push_back(L'\0');
  wide.push_back(L'\0');
  return wide;
}

// A reused file dialog: keeps its filter index from one use to the next.
class TFileDialog {
 public:
  // Shows the dialog; true with the chosen full name when the user confirmed.
  bool Execute(HWND owner, const TFileDialogSetup& setup, std::string& file_name);

 private:
  bool Show(OPENFILENAMEW& dialog, bool save) {
    return (save ? ::GetSaveFileNameW(&dialog) : ::GetOpenFileNameW(&dialog)) != 0;
  }
  int filter_index_ = 1;
};

bool TFileDialog::Execute(HWND owner, const TFileDialogSetup& setup, std::string& file_name) {
  std::vector<wchar_t> buffer(kFileNameBufferSize, L'\0');
  const std::wstring preset = Utf8ToWide(setup.FileName);
  if (preset.size() < buffer.size())
    preset.copy(buffer.data(), preset.size());
  const std::wstring title = Utf8ToWide(setup.Title);
  const std::wstring filter = DialogFilter(setup.Filter);
  const std::wstring default_ext = Utf8ToWide(setup.DefaultExt);

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = static_cast<DWORD>(EffectiveFilterIndex(setup, filter_index_));
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = static_cast<DWORD>(buffer.size());
  dialog.lpstrTitle = title.c_str();
  dialog.lpstrDefExt = default_ext.empty() ? nullptr : default_ext.c_str();
  // The working folder of the process stays where it is.
  dialog.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                 (setup.Save ? OFN_OVERWRITEPROMPT : OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST);
  bool confirmed = Show(dialog, setup.Save);
  // A preset name the dialog refuses (invalid characters, too long) is dropped and it opens again.
  if (!confirmed && ::CommDlgExtendedError() == FNERR_INVALIDFILENAME && buffer[0] != L'\0') {
    buffer.assign(buffer.size(), L'\0');
    confirmed = Show(dialog, setup.Save);
  }
  if (dialog.nFilterIndex > 0)
    filter_index_ = static_cast<int>(dialog.nFilterIndex);
  if (!confirmed)
    return false;
  file_name = WideToUtf8(buffer.data());
  return true;
}

class TKVSetupConfiguratorMainForm final : public TStoreWindow {
 public:
  TKVSetupConfiguratorMainForm() = default;
  ~TKVSetupConfiguratorMainForm() override;
  TKVSetupConfiguratorMainForm(const TKVSetupConfiguratorMainForm&) = delete;
  TKVSetupConfiguratorMainForm& operator=(const TKVSetupConfiguratorMainForm&) = delete;

  bool Create();
  int RunMessageLoop();

  // TStoreWindow
  std::string ReadField(TStoreField field) override;
  bool ServerUrlSelected() override;
  void EnableStoreButton(bool enabled) override;
  TMessageAnswer ShowMessageBox(const TMessageBoxContent& content) override;
  bool ChooseOutputFile(const TFileDialogSetup& setup, std::string& file_name) override;
  void Pump() override;
  bool CloseRequested() override { return close_requested_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK EditProc(HWND edit, UINT message, WPARAM wparam, LPARAM lparam,
                                   UINT_PTR id, DWORD_PTR data);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  // Dispatches one message, through the keyboard handling of dialogs first.
  void Dispatch(MSG& message);

  void FormCreate();
  void CreateControls();
  HWND CreateSpeedButton(const TMainControlInfo& info, const TPixelRect& rect);
  HWND CreateStoreButton(const TMainControlInfo& info, const TPixelRect& rect);
  void PlaceControls();
  void ApplyPixelsPerInch(int pixels_per_inch, const RECT* suggested);
  void rbKVClick(TMainControl clicked);
  void BrowseClick(TBrowseField field, TMainControl edit);
  void btStoreToSetupClick();
  void OnCommand(int id, int code);
  void OnGetMinMaxInfo(MINMAXINFO& info) const;
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
  HWND form_ = nullptr;
  std::array<HWND, kControlCount> controls_{};
  HFONT font_ = nullptr;
  int pixels_per_inch_ = kDesignPixelsPerInch;
  TStoreToSetupAction action_;
  TFileDialog open_dialog_;
  TFileDialog save_dialog_;
  bool in_action_ = false;
  bool close_requested_ = false;
  bool store_had_focus_ = false;
  HWND focus_before_deactivation_ = nullptr;
};

TKVSetupConfiguratorMainForm::~TKVSetupConfiguratorMainForm() {
  if (form_)
    ::DestroyWindow(form_);
  if (font_)
    ::DeleteObject(font_);
}

bool TKVSetupConfiguratorMainForm::Create() {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  RegisterFormClass(instance, &TKVSetupConfiguratorMainForm::WindowProc, kMainFormClass);
  pixels_per_inch_ = ScreenPixelsPerInch();
  RECT frame{0, 0, ScaleToPixelsPerInch(kMainFormClientWidth, pixels_per_inch_),
             ScaleToPixelsPerInch(kMainFormClientHeight, pixels_per_inch_)};
  ::AdjustWindowRectEx(&frame, kFormStyle, FALSE, 0);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const TPixelRect place = CentredWindowRect(
      {work.left, work.top, work.right - work.left, work.bottom - work.top}, width, height);
  CreateComponents();
  form_ = ::CreateWindowExW(0, kMainFormClass, Utf8ToWide(kMainFormCaption).c_str(), kFormStyle,
                            place.Left, place.Top, width, height, nullptr, nullptr, instance, this);
  if (!form_)
    return false;
  for (const auto& [kind, metric] : {std::pair{ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}}) {
    const int size = ::GetSystemMetrics(metric);
    const HANDLE icon = ::LoadImageW(instance, kProgramIconName, IMAGE_ICON, size, size, LR_SHARED);
    ::SendMessageW(form_, WM_SETICON, kind, reinterpret_cast<LPARAM>(icon));
  }
  ::ShowWindow(form_, SW_SHOWNORMAL);
  ::SetFocus(Control(TMainControl::edOriginalSetupFile));
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
  // show no glyphs, and the window works all the same.
  try {
    images_->Loaded();
  } catch (const std::exception&) {
  }
}

int TKVSetupConfiguratorMainForm::RunMessageLoop() {
  MSG message{};
  while (::GetMessageW(&message, nullptr, 0, 0) > 0)
    Dispatch(message);
  return kExitSuccess;
}

void TKVSetupConfiguratorMainForm::Dispatch(MSG& message) {
  if (form_ && ::IsDialogMessageW(form_, &message))
    return;
  ::TranslateMessage(&message);
  ::DispatchMessageW(&message);
}

LRESULT CALLBACK TKVSetupConfiguratorMainForm::WindowProc(HWND window, UINT message, WPARAM wparam,
                                                          LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* form = static_cast<TKVSetupConfiguratorMainForm*>(create->lpCreateParams);
    form->form_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form =
      reinterpret_cast<TKVSetupConfiguratorMainForm*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!form)
    return ::DefWindowProcW(window, message, wparam, lparam);
  // Nothing is thrown across the window procedure; the store action reports its own failures.
  try {
    return form->HandleMessage(message, wparam, lparam);
  } catch (const std::exception&) {
    return 0;
  }
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
      return reinterpret_cast<LRESULT>(font_);
    case WM_ACTIVATE:
      // As a dialog does: the control that had the focus gets it back with the window.
      if (LOWORD(wparam) == WA_INACTIVE) {
        const HWND focus = ::GetFocus();
        if (focus && ::IsChild(form_, focus))
          focus_before_deactivation_ = focus;
      } else if (focus_before_deactivation_ && ::IsWindow(focus_before_deactivation_) &&
                 ::IsWindowEnabled(focus_before_deactivation_)) {
        ::SetFocus(focus_before_deactivation_);
      } else {
        ::SetFocus(Control(TMainControl::edOriginalSetupFile));
      }
      return 0;
    case WM_CTLCOLORSTATIC: {
      // Labels, radio buttons and disabled edit boxes: the colour of button faces; Label1 blue.
      const HDC dc = reinterpret_cast<HDC>(wparam);
      ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
      if (reinterpret_cast<HWND>(lparam) == Control(TMainControl::Label1))
        ::SetTextColor(dc, kBlue);
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(kExitSuccess);
      return 0;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(form_, GWLP_USERDATA, 0);
      form_ = nullptr;
      controls_.fill(nullptr);
      return 0;
    default:
      return ::DefWindowProcW(form_, message, wparam, lparam);
  }
}

void TKVSetupConfiguratorMainForm::FormCreate() {
  font_ = MakeFont(kFormFontName, ScaleToPixelsPerInch(kMainFormFontHeight, pixels_per_inch_));
  try {
    images_->CreateHotImages();
    images_->CreateDisabledImages();
  } catch (const std::exception&) {
    // Without companions the buttons draw their glyphs from the list itself.
  }
  CreateControls();
  rbKVClick(TMainControl::rbKVURL);
}

void TKVSetupConfiguratorMainForm::CreateControls() {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  RECT client{};
  ::GetClientRect(form_, &client);
  // Created in the table's order, which is the tab order; every stop is a group of its own, so
  // the arrow keys never move the focus or the radio selection.
  for (const TMainControlInfo& info : MainFormControls()) {
    const wchar_t* control_class = L"BUTTON";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD ex_style = 0;
    switch (info.Kind) {
      case TControlKind::kLabel:
        control_class = L"STATIC";
        style |= SS_LEFT | SS_NOPREFIX;
        break;
      case TControlKind::kEdit:
        control_class = L"EDIT";
        style |= WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL;
        ex_style = WS_EX_CLIENTEDGE | WS_EX_ACCEPTFILES;
        break;
      case TControlKind::kRadioButton:
        style |= WS_GROUP | BS_RADIOBUTTON;
        break;
      case TControlKind::kSpeedButton:
      case TControlKind::kBitButton:
        break;
    }
    const int id = kFirstControlId + static_cast<int>(info.Id);
    const TPixelRect rect = MainControlRect(info.Id, pixels_per_inch_, client.right);
    HWND control = nullptr;
    if (info.Kind == TControlKind::kSpeedButton) {
      control = CreateSpeedButton(info, rect);
    } else if (info.Kind == TControlKind::kBitButton) {
      control = CreateStoreButton(info, rect);
    } else {
      control = ::CreateWindowExW(ex_style, control_class, Utf8ToWide(info.Caption).c_str(), style,
                                  rect.Left, rect.Top, rect.Width, rect.Height, form_, nullptr,
                                  instance, nullptr);
    }
    if (!control)
      continue;
    ::SetWindowLongPtrW(control, GWLP_ID, id);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    if (info.Kind == TControlKind::kEdit)
      ::SetWindowSubclass(control, &TKVSetupConfiguratorMainForm::EditProc, 0, 0);
    controls_[static_cast<std::size_t>(info.Id)] = control;
  }
}

HWND TKVSetupConfiguratorMainForm::CreateSpeedButton(const TMainControlInfo& info,
                                                     const TPixelRect& rect) {
  TZNTSpeedButtonEx* button = SpeedButton(info.Id);
  button->SetImages(images_);
  button->SetImageIndex(info.ImageIndex);
  button->SetSize(rect.Width, rect.Height);
  switch (info.Id) {
    case TMainControl::sbOriginalSetupFile:
      button->OnClick = [this] {
        BrowseClick(TBrowseField::kOriginalSetupFile, TMainControl::edOriginalSetupFile);
      };
      break;
    case TMainControl::sbKVConfigFile:
      button->OnClick = [this] {
        BrowseClick(TBrowseField::kKVConfigFile, TMainControl::edKVConfigFile);
      };
      break;
    default:
      button->OnClick = [this] {
        BrowseClick(TBrowseField::kAutoinstallSRG, TMainControl::edAutoinstallSRG);
      };
      break;
  }
  return button->Create(form_, rect.Left, rect.Top) ? button->Handle() : nullptr;
}

HWND TKVSetupConfiguratorMainForm::CreateStoreButton(const TMainControlInfo& info,
                                                     const TPixelRect& rect) {
  store_button_->SetCaption(info.Caption);
  store_button_->SetImages(images_);
  store_button_->SetImageIndex(info.ImageIndex);
  store_button_->OnClick = [this] { btStoreToSetupClick(); };
  if (!store_button_->Create(form_, rect.Left, rect.Top, rect.Width, rect.Height))
    return nullptr;
  const HWND button = store_button_->Handle();
  // A group of its own, so that the arrow keys do not move the focus away from it.
  ::SetWindowLongPtrW(button, GWL_STYLE, ::GetWindowLongPtrW(button, GWL_STYLE) | WS_GROUP);
  return button;
}

// Edit boxes take a file dropped from Explorer: its full name replaces the text.
LRESULT CALLBACK TKVSetupConfiguratorMainForm::EditProc(HWND edit, UINT message, WPARAM wparam,
                                                        LPARAM lparam, UINT_PTR, DWORD_PTR) {
  if (message == WM_DROPFILES) {
    const HDROP drop = reinterpret_cast<HDROP>(wparam);
    const UINT length = ::DragQueryFileW(drop, 0, nullptr, 0);
    if (length > 0 && length != 0xFFFFFFFF) {
      std::wstring name(static_cast<std::size_t>(length) + 1, L'\0');
      ::DragQueryFileW(drop, 0, name.data(), length + 1);
      name.resize(length);
      ::SetWindowTextW(edit, name.c_str());
    }
    ::DragFinish(drop);
    return 0;
  }
  if (message == WM_NCDESTROY)
    ::RemoveWindowSubclass(edit, &TKVSetupConfiguratorMainForm::EditProc, 0);
  return ::DefSubclassProc(edit, message, wparam, lparam);
}

void TKVSetupConfiguratorMainForm::PlaceControls() {
  if (!Control(TMainControl::btStoreToSetup))
    return;
  RECT client{};
  ::GetClientRect(form_, &client);
  if (client.right <= 0)  // minimised
    return;
  const HDWP positions = ::BeginDeferWindowPos(static_cast<int>(kControlCount));
  HDWP next = positions;
  for (const TMainControlInfo& info : MainFormControls()) {
    const TPixelRect rect = MainControlRect(info.Id, pixels_per_inch_, client.right);
    if (next) {
      next = ::DeferWindowPos(next, Control(info.Id), nullptr, rect.Left, rect.Top, rect.Width,
                              rect.Height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  if (next)
    ::EndDeferWindowPos(next);
}

void TKVSetupConfiguratorMainForm::ApplyPixelsPerInch(int pixels_per_inch, const RECT* suggested) {
  if (pixels_per_inch <= 0)
    return;
  pixels_per_inch_ = pixels_per_inch;
  const HFONT old_font = font_;
  font_ = MakeFont(kFormFontName, ScaleToPixelsPerInch(kMainFormFontHeight, pixels_per_inch_));
  for (const HWND control : controls_)
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  if (old_font)
    ::DeleteObject(old_font);
  ::RedrawWindow(form_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  if (suggested) {
    ::SetWindowPos(form_, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }
  PlaceControls();
}

void TKVSetupConfiguratorMainForm::OnGetMinMaxInfo(MINMAXINFO& info) const {
  RECT frame{0, 0, 0, 0};
  ::AdjustWindowRectEx(&frame, kFormStyle, FALSE, 0);
  const TMainFormSizeLimits limits =
      MainFormSizeLimits(pixels_per_inch_, frame.right - frame.left, frame.bottom - frame.top);
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
  if (code != BN_CLICKED)
    return;
  if (id == kFirstControlId + static_cast<int>(TMainControl::rbKVURL))
    rbKVClick(TMainControl::rbKVURL);
  else if (id == kFirstControlId + static_cast<int>(TMainControl::rbKVConfig))
    rbKVClick(TMainControl::rbKVConfig);
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
  if (open_dialog_.Execute(form_, BrowseDialogSetup(field, ControlText(Control(edit))), file_name))
    ::SetWindowTextW(Control(edit), Utf8ToWide(file_name).c_str());
}

void TKVSetupConfiguratorMainForm::btStoreToSetupClick() {
  if (in_action_)
    return;
  in_action_ = true;
  action_.Run(*this);
  in_action_ = false;
  if (close_requested_ && form_)
    ::DestroyWindow(form_);
}

void TKVSetupConfiguratorMainForm::OnClose() {
  if (!in_action_) {
    ::DestroyWindow(form_);
    return;
  }
  // The action ends at its next step; the window closes when it has.
  close_requested_ = true;
  ::ShowWindow(form_, SW_HIDE);
}

std::string TKVSetupConfiguratorMainForm::ReadField(TStoreField field) {
  switch (field) {
    case TStoreField::kOriginalSetupFile:
      return ControlText(Control(TMainControl::edOriginalSetupFile));
    case TStoreField::kKVServerURL:
      return ControlText(Control(TMainControl::edKVServerURL));
    case TStoreField::kKVConfigFile:
      return ControlText(Control(TMainControl::edKVConfigFile));
    case TStoreField::kAutoinstallSRG:
      return ControlText(Control(TMainControl::edAutoinstallSRG));
  }
  return {};
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

TMessageAnswer TKVSetupConfiguratorMainForm::ShowMessageBox(const TMessageBoxContent& content) {
  return ShowMessageDialog(form_, pixels_per_inch_, font_, content,
                           [this] { return close_requested_; });
}

bool TKVSetupConfiguratorMainForm::ChooseOutputFile(const TFileDialogSetup& setup,
                                                    std::string& file_name) {
  return save_dialog_.Execute(form_, setup, file_name);
}

void TKVSetupConfiguratorMainForm::Pump() {
  MSG message{};
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Left for the message loop of the program.
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    Dispatch(message);
  }
}

}  // namespace

int RunMainWindow() {
  TKVSetupConfiguratorMainForm form;
  if (!form.Create())
    return kExitSuccess;
  return form.RunMessageLoop();
}

}  // namespace kv
