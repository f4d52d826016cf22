// The progress display of a window's taskbar button, where the shell offers one. The shell tells
// a window that its button exists, first and again after it restarted, with the registered
// "TaskbarButtonCreated" message; the display is made anew then and shows the progress it had.
// Without the message (an older shell) it is made at the first progress. Windows only.
#pragma once

#include <windows.h>

#include <shobjidl.h>

#include <cstdint>

#include "base/Owned.h"

namespace kv {

inline void ReleaseTaskbarList(ITaskbarList3* taskbar) {
  taskbar->Release();
}

class TTaskbarProgress {
 public:
  // The window whose button shows the progress, once it exists; the shell's message then reaches
  // it also where the process runs elevated.
  void Attach(HWND window);

  // For the shell's message that the window's button was made: the display is made anew and
  // shows the progress it had; true. False for any other message.
  bool TakeMessage(UINT message);
  // Shows done of total on the button.
  void Show(std::int64_t done, std::int64_t total);
  // The button shows no progress.
  void Clear();

 private:
  void Make();
  void Apply();

  HWND window_ = nullptr;
  UINT button_created_ = 0;
  OwnedPtr<ITaskbarList3, ReleaseTaskbarList> taskbar_;
  bool made_ = false;
  bool showing_ = false;
  std::int64_t done_ = 0;
  std::int64_t total_ = 0;
};

}  // namespace kv
