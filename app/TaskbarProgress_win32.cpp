#include "app/TaskbarProgress_win32.h"

namespace kv {

void TTaskbarProgress::Attach(HWND window) {
  window_ = window;
  button_created_ = ::RegisterWindowMessageW(L"TaskbarButtonCreated");
  if (button_created_ != 0)
    ::ChangeWindowMessageFilterEx(window_, button_created_, MSGFLT_ALLOW, nullptr);
}

void TTaskbarProgress::Make() {
  made_ = true;
  taskbar_.reset();
  ITaskbarList3* taskbar = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                __uuidof(ITaskbarList3), reinterpret_cast<void**>(&taskbar)))) {
    return;
  }
  taskbar_.reset(taskbar);
  if (FAILED(taskbar_->HrInit()))
    taskbar_.reset();
}

bool TTaskbarProgress::TakeMessage(UINT message) {
  if (message == 0 || message != button_created_)
    return false;
  Make();
  if (showing_)
    Apply();
  return true;
}

// The same figures again (told while the store is busy) are not sent to the shell again.
void TTaskbarProgress::Show(std::int64_t done, std::int64_t total) {
  if (!made_)
    Make();
  if (showing_ && done == done_ && total == total_)
    return;
  showing_ = true;
  done_ = done;
  total_ = total;
  Apply();
}

void TTaskbarProgress::Apply() {
  if (taskbar_ && total_ > 0)
    taskbar_->SetProgressValue(window_, static_cast<ULONGLONG>(done_),
                               static_cast<ULONGLONG>(total_));
}

void TTaskbarProgress::Clear() {
  showing_ = false;
  if (taskbar_)
    taskbar_->SetProgressState(window_, TBPF_NOPROGRESS);
}

}  // namespace kv
