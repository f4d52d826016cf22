#include "app/FormClass.h"

namespace kv {

void RegisterFormClass(HINSTANCE instance, WNDPROC procedure, const wchar_t* class_name) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
  window_class.lpszClassName = class_name;
  ::RegisterClassExW(&window_class);
}

}  // namespace kv
