// What a screen reader hears of a window: the system's own accessible object of the window's
// client area with the name, and where given the role and the description, replaced. A window
// answers WM_GETOBJECT with AnswerGetObject. Windows only.
#pragma once

#include <windows.h>

#include <string>

namespace kv {

struct TAccessibleLook {
  std::wstring Name;
  long Role = 0;             // ROLE_SYSTEM_...; 0: the system's
  std::wstring Description;  // empty: the system's
};

// For WM_GETOBJECT asking for the client object: the answer with the look, and true. False for
// every other request, which then goes to the default handling.
bool AnswerGetObject(HWND window, WPARAM wparam, LPARAM lparam, const TAccessibleLook& look,
                     LRESULT& result);

// Tells screen readers that an alert (a message box) has appeared.
void AnnounceAlert(HWND window);

}  // namespace kv
