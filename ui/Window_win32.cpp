#include "ui/Window_win32.h"

#include <commctrl.h>

#include <utility>

#include "base/Failure.h"
#include "ui/GdiHandles_win32.h"

namespace kv {

namespace {

constexpr UINT_PTR kSubclassId = 1;
// The window property through which a control leads to its TSubclass.
constexpr wchar_t kSubclassProperty[] = L"kv.TSubclass";
constexpr COLORREF kHintBlue = RGB(0, 0, 255);

TWindowFailureHook failure_hook;
std::function<void(UINT)> test_seam;

// Runs a handler; a failure goes to the hook and gives result 0.
template <typename Handler>
LRESULT Guarded(HWND window, UINT message, Handler&& handler) {
  std::string text;
  try {
    if (test_seam)
      test_seam(message);
    return handler();
  } catch (...) {
    text = DescribeCurrentException();
  }
  RunIgnoringFailure([&] {
    if (failure_hook)
      failure_hook(window, text);
  });
  return 0;
}

template <typename Function>
Function SystemFunction(const char* name) {
  const HMODULE user = ::GetModuleHandleW(L"user32.dll");
  return user ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(user, name)))
              : nullptr;
}

}  // namespace

void SetWindowFailureHook(TWindowFailureHook hook) {
  failure_hook = std::move(hook);
}

void SetWindowTestSeam(std::function<void(UINT message)> seam) {
  test_seam = std::move(seam);
}

LRESULT TWindowBase::Route(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_NCDESTROY)
    return Guarded(handle_, message, [&] { return HandleMessage(message, wparam, lparam); });
  Detaching();
  const LRESULT result = DefaultProc(message, wparam, lparam);
  handle_ = nullptr;
  return result;
}

TWindow::~TWindow() {
  if (handle_)
    ::DestroyWindow(handle_);
}

bool TWindow::CreateOfClass(const wchar_t* class_name, UINT class_style, HBRUSH background,
                            DWORD ex_style, DWORD style, const std::wstring& text,
                            const RECT& bounds, HWND parent) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.style = class_style;
  window_class.lpfnWndProc = &TWindow::Procedure;
  window_class.hInstance = instance;
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = background;
  window_class.lpszClassName = class_name;
  // Each class once: a class already there (of this program) is taken as it is.
  WNDCLASSEXW registered{};
  registered.cbSize = sizeof(registered);
  if (!::GetClassInfoExW(instance, class_name, &registered))
    ::RegisterClassExW(&window_class);
  ::CreateWindowExW(ex_style, class_name, text.c_str(), style, bounds.left, bounds.top,
                    bounds.right - bounds.left, bounds.bottom - bounds.top, parent, nullptr,
                    instance, this);
  return handle_ != nullptr;
}

TWindow* TWindow::FromHandle(HWND window) {
  const auto procedure = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(window, GWLP_WNDPROC));
  return procedure == &TWindow::Procedure
             ? reinterpret_cast<TWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA))
             : nullptr;
}

LRESULT TWindow::DefaultProc(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_NEXTDLGCTL)
    return ::DefWindowProcW(handle_, message, wparam, lparam);
  // As a dialog does: the dialog keyboard handling moves the focus with this message (a label's
  // mnemonic to the control after it): to the control in wparam, or to the next or previous stop.
  const HWND target = LOWORD(lparam) ? reinterpret_cast<HWND>(wparam)
                                     : ::GetNextDlgTabItem(handle_, ::GetFocus(), wparam != 0);
  if (target && ::IsChild(handle_, target)) {
    ::SetFocus(target);
    if (::SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
      ::SendMessageW(target, EM_SETSEL, 0, -1);
  }
  return 0;
}

LRESULT CALLBACK TWindow::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* object =
        static_cast<TWindow*>(reinterpret_cast<const CREATESTRUCTW*>(lparam)->lpCreateParams);
    object->handle_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
  }
  auto* object = reinterpret_cast<TWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!object)
    return ::DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_NCDESTROY)
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  return object->Route(message, wparam, lparam);
}

TSubclass::~TSubclass() {
  if (handle_) {
    ::RemovePropW(handle_, kSubclassProperty);
    ::RemoveWindowSubclass(handle_, &TSubclass::Procedure, kSubclassId);
  }
}

bool TSubclass::Attach(HWND control) {
  if (!control || !::SetPropW(control, kSubclassProperty, this) ||
      !::SetWindowSubclass(control, &TSubclass::Procedure, kSubclassId,
                           reinterpret_cast<DWORD_PTR>(this))) {
    if (control)
      ::RemovePropW(control, kSubclassProperty);
    return false;
  }
  handle_ = control;
  return true;
}

TSubclass* TSubclass::FromHandle(HWND control) {
  return control ? static_cast<TSubclass*>(::GetPropW(control, kSubclassProperty)) : nullptr;
}

LRESULT TSubclass::DefaultProc(UINT message, WPARAM wparam, LPARAM lparam) {
  return ::DefSubclassProc(handle_, message, wparam, lparam);
}

LRESULT CALLBACK TSubclass::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                      UINT_PTR, DWORD_PTR data) {
  if (message == WM_NCDESTROY) {
    ::RemovePropW(window, kSubclassProperty);
    ::RemoveWindowSubclass(window, &TSubclass::Procedure, kSubclassId);
  }
  return reinterpret_cast<TSubclass*>(data)->Route(message, wparam, lparam);
}

void RunMessages(HWND dialog, const std::function<bool()>& done, bool wait) {
  MSG message{};
  while (!done || !done()) {
    if (wait ? ::GetMessageW(&message, nullptr, 0, 0) < 0
             : !::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      return;
    }
    if (message.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    const HWND root = message.hwnd ? ::GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    TWindow* const top = root ? TWindow::FromHandle(root) : nullptr;
    if (top && message.message == WM_KEYDOWN && top->TakeKey(message))
      continue;
    // The keyboard's dialog handling (Tab, arrows, mnemonics, Enter, Escape) for the window the
    // message is for when it is one of the program's, else for dialog.
    const HWND keyboard = top ? root : dialog;
    if (!keyboard || !::IsWindow(keyboard) || !::IsDialogMessageW(keyboard, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
}

HWND CreateChildControl(HWND parent, const wchar_t* class_name, const std::wstring& text,
                        DWORD style, DWORD ex_style, int left, int top, int width, int height,
                        int id, HFONT font) {
  const HWND control = ::CreateWindowExW(ex_style, class_name, text.c_str(),
                                         WS_CHILD | WS_VISIBLE | style, left, top, width, height,
                                         parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                         ::GetModuleHandleW(nullptr), nullptr);
  if (control)
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

int WindowPixelsPerInch(HWND window) {
  using DpiForWindow = UINT(WINAPI*)(HWND);
  static const auto dpi_for_window = SystemFunction<DpiForWindow>("GetDpiForWindow");
  int pixels_per_inch = window && dpi_for_window ? static_cast<int>(dpi_for_window(window)) : 0;
  if (pixels_per_inch <= 0)
    pixels_per_inch = ::GetDeviceCaps(ScreenDC().get(), LOGPIXELSY);
  return pixels_per_inch > 0 ? pixels_per_inch : kDesignPixelsPerInch;
}

SIZE WindowSizeForClient(int client_width, int client_height, DWORD style, DWORD ex_style,
                         int pixels_per_inch) {
  using AdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto adjust_for_dpi = SystemFunction<AdjustForDpi>("AdjustWindowRectExForDpi");
  RECT frame{0, 0, client_width, client_height};
  if (!adjust_for_dpi ||
      !adjust_for_dpi(&frame, style, FALSE, ex_style, static_cast<UINT>(pixels_per_inch))) {
    ::AdjustWindowRectEx(&frame, style, FALSE, ex_style);
  }
  return {frame.right - frame.left, frame.bottom - frame.top};
}

bool HighContrast() {
  HIGHCONTRASTW contrast{};
  contrast.cbSize = sizeof(contrast);
  return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
         (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

LRESULT StaticColours(HDC dc, bool hint) {
  ::SetTextColor(dc, !hint            ? ::GetSysColor(COLOR_BTNTEXT)
                     : HighContrast() ? ::GetSysColor(COLOR_HOTLIGHT)
                                      : kHintBlue);
  ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
}

RECT WorkAreaOf(HWND window) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  const HMONITOR nearest = window ? ::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST)
                                  : ::MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY);
  if (!nearest || !::GetMonitorInfoW(nearest, &monitor))
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &monitor.rcWork, 0);
  return monitor.rcWork;
}

}  // namespace kv
