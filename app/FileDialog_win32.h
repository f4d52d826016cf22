// The file dialogs of the main window: one object per use (open or save) that keeps its filter
// index from one showing to the next. Windows only.
#pragma once

#include <windows.h>

#include <string>

#include "app/MainFormDialogs.h"

namespace kv {

class TFileDialog {
 public:
  // Shows the dialog; true with the chosen full name (UTF-8) when the user confirmed.
  bool Execute(HWND owner, const TFileDialogSetup& setup, std::string& file_name);

 private:
  int filter_index_ = 1;
};

}  // namespace kv
