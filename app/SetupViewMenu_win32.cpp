#include "app/SetupViewMenu_win32.h"

#include <shellapi.h>

#include <utility>

#include "app/MainFormDialogs.h"
#include "base/WinText_win32.h"
#include "ui/AccessibleName_win32.h"

namespace kv {

namespace {

// The system menu's own items; their low four bits are the system's.
constexpr UINT kShowSetupCommand = 0x0100;
constexpr UINT kShowStoredCommand = 0x0110;

}  // namespace

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

void TSetupViewMenu::Attach(HWND window, const TWindowTexts& texts) {
  window_ = window;
  texts_ = &texts;
  const HMENU system_menu = ::GetSystemMenu(window, FALSE);
  ::AppendMenuW(system_menu, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(system_menu, MF_STRING, kShowSetupCommand, Utf8ToWide(texts.ShowSetupItem).c_str());
}

bool TSetupViewMenu::TakeKey(const MSG& message) const {
  if (message.wParam != 'I' || ::GetKeyState(VK_CONTROL) >= 0 || ::GetKeyState(VK_MENU) < 0)
    return false;
  ::PostMessageW(window_, WM_SYSCOMMAND, kShowSetupCommand, 0);
  return true;
}

bool TSetupViewMenu::OnSysCommand(UINT command, bool in_action) {
  std::string file_name;
  if (command == kShowSetupCommand) {
    if (!in_action &&
        show_dialog_.Execute(window_,
                             BrowseDialogSetup(TBrowseField::kShownSetupFile, "",
                                               UiLanguageOf(::GetUserDefaultUILanguage())),
                             file_name))
      views_.Show(window_, file_name);
    return true;
  }
  if (command != kShowStoredCommand)
    return false;
  if (!stored_.empty())
    views_.Show(window_, stored_);
  return true;
}

void TSetupViewMenu::OnDropFiles(HDROP drop) {
  for (const std::string& file : DroppedFiles(drop))
    views_.Show(window_, file);
}

void TSetupViewMenu::Stored(const std::string& file) {
  if (file.empty())
    return;
  stored_ = file;
  const HMENU system_menu = ::GetSystemMenu(window_, FALSE);
  if (::GetMenuState(system_menu, kShowStoredCommand, MF_BYCOMMAND) == static_cast<UINT>(-1)) {
    ::AppendMenuW(system_menu, MF_STRING, kShowStoredCommand,
                  Utf8ToWide(texts_->ShowStoredItem).c_str());
  }
}

bool TMainFormEdit::Attach(HWND edit, std::wstring name, int browse_id) {
  name_ = std::move(name);
  browse_id_ = browse_id;
  return TSubclass::Attach(edit);
}

LRESULT TMainFormEdit::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DROPFILES: {  // a file dropped from Explorer: its full name replaces the text
      const std::vector<std::string> files = DroppedFiles(reinterpret_cast<HDROP>(wparam));
      if (!files.empty())
        ::SetWindowTextW(handle_, Utf8ToWide(files.front()).c_str());
      return 0;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      // The combo box's keys open the browse dialog: F4, and Alt+Down.
      if (browse_id_ != 0 && (wparam == VK_F4 || (message == WM_SYSKEYDOWN && wparam == VK_DOWN))) {
        ::PostMessageW(::GetParent(handle_), WM_COMMAND, MAKEWPARAM(browse_id_, BN_CLICKED), 0);
        return 0;
      }
      return DefaultProc(message, wparam, lparam);
    case WM_GETOBJECT: {
      LRESULT result = 0;
      return AnswerGetObject(handle_, wparam, lparam, {name_, 0, {}}, result)
                 ? result
                 : DefaultProc(message, wparam, lparam);
    }
    default:
      return DefaultProc(message, wparam, lparam);
  }
}

}  // namespace kv
