#include "app/FormClass.h"

#include "app/PixelScaling.h"

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

int ScreenPixelsPerInch() {
  const HDC screen = ::GetDC(nullptr);
  const int pixels_per_inch = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : kDesignPixelsPerInch;
  if (screen)
    ::ReleaseDC(nullptr, screen);
  return pixels_per_inch > 0 ? pixels_per_inch : kDesignPixelsPerInch;
}

HFONT MakeFont(const wchar_t* name, int character_height) {
  return ::CreateFontW(-character_height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, name);
}

}  // namespace kv
