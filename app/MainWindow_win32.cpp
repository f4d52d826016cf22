// An empty main window with the program's caption, standing in for the interactive window.
#include <windows.h>

#include "app/FormClass.h"
#include "app/MainWindow.h"

namespace kv {

namespace {

constexpr wchar_t kMainFormClass[] = L"TKVSetupConfiguratorMainForm";
constexpr wchar_t kMainFormCaption[] = L"KV Setup configurator";
constexpr int kExitSuccess = 0;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    ::PostQuitMessage(kExitSuccess);
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int RunMainWindow() {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  RegisterFormClass(instance, MainWindowProc, kMainFormClass);

  const HWND window = ::CreateWindowExW(0, kMainFormClass, kMainFormCaption, WS_OVERLAPPEDWINDOW,
                                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                        nullptr, nullptr, instance, nullptr);
  if (!window)
    return kExitSuccess;
  ::ShowWindow(window, SW_SHOWDEFAULT);
  MSG message{};
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return kExitSuccess;
}

}  // namespace kv
