// The main window's ways to the views of setup files: the system menu's items (the second one
// once a store has written a file), Ctrl+I, and files dropped on the window; and its edit boxes,
// which take a dropped file's name, open their browse dialog with Alt+Down or F4 and are named
// after their labels for screen readers. Windows only.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "app/FileDialog_win32.h"
#include "app/SetupView_win32.h"
#include "app/WindowTexts.h"
#include "ui/Window_win32.h"

namespace kv {

// The full names of the files dropped, in their order; the drop is finished.
std::vector<std::string> DroppedFiles(HDROP drop);

class TSetupViewMenu {
 public:
  // Adds the first item to the window's system menu.
  void Attach(HWND window, const TWindowTexts& texts);
  // Ctrl+I: posts the first item's command; true when the key was taken.
  bool TakeKey(const MSG& message) const;
  // One of the items: shows its view (the first one not during a store, whose dialogs come
  // first) and returns true; false for every other command.
  bool OnSysCommand(UINT command, bool in_action);
  void OnDropFiles(HDROP drop);
  // A store wrote file: the second item shows it from now on.
  void Stored(const std::string& file);

 private:
  HWND window_ = nullptr;
  const TWindowTexts* texts_ = nullptr;
  std::string stored_;
  TFileDialog show_dialog_;
  TSetupViews views_;
};

// An edit box of the main window.
class TMainFormEdit final : public TSubclass {
 public:
  // name: what screen readers call it; browse_id: the command id (a BN_CLICKED to the parent)
  // that opens its browse dialog, 0 for none.
  bool Attach(HWND edit, std::wstring name, int browse_id);

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

  std::wstring name_;
  int browse_id_ = 0;
};

}  // namespace kv
