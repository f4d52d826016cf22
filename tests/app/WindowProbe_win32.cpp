// Drives the windows of KVSetupConfigurator.exe from outside, as a user started without a
// console would meet them (run under Wine on a virtual X display by cli_e2e.py):
//   kv_window_probe PROGRAM.exe
// 1. "-h" with no console and no standard handles: the note window appears with the designed
//    layout, the usage text and the memo anchored to all sides; closing it ends the program
//    with exit code 1.
// 2. No arguments: the main window appears with the program's caption; closing it ends the
//    program with exit code 0.
// Prints one line per check ("ok ..." or "FAIL ...") and exits 0 when every check passed.
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/UsageText.h"
#include "setupfile/WinText.h"

namespace {

int failures = 0;

void Check(bool passed, const std::string& what) {
  std::printf("%s %s\n", passed ? "ok" : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!passed)
    ++failures;
}

// The text through WM_GETTEXT, which also reaches the controls of another process.
std::string WindowText(HWND window) {
  const LRESULT length = ::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT copied = ::SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(length + 1),
                                        reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(copied));
  return kv::WideToUtf8(text);
}

std::wstring ClassName(HWND window) {
  wchar_t name[256] = {};
  ::GetClassNameW(window, name, 256);
  return name;
}

struct WindowSearch {
  DWORD process_id;
  const wchar_t* class_name;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<WindowSearch*>(parameter);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != search->process_id || ClassName(window) != search->class_name ||
      !::IsWindowVisible(window)) {
    return TRUE;
  }
  search->found = window;
  return FALSE;
}

// Waits up to a minute for a visible top-level window of the process with the class name.
HWND WaitForWindow(DWORD process_id, const wchar_t* class_name) {
  for (int attempt = 0; attempt < 600; ++attempt) {
    WindowSearch search{process_id, class_name, nullptr};
    ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found)
      return search.found;
    ::Sleep(100);
  }
  return nullptr;
}

// Starts the program detached from any console and without standard handles.
bool Start(const std::wstring& program, const std::wstring& arguments,
           PROCESS_INFORMATION& process) {
  std::wstring command_line = L"\"" + program + L"\"" + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  return ::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                          DETACHED_PROCESS, nullptr, nullptr, &startup, &process) != 0;
}

DWORD CloseAndWait(HWND window, const PROCESS_INFORMATION& process) {
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  DWORD exit_code = STILL_ACTIVE;
  if (::WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
    ::GetExitCodeProcess(process.hProcess, &exit_code);
  else
    ::TerminateProcess(process.hProcess, 99);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return exit_code;
}

int Scaled(int value, int pixels_per_inch) {
  return ::MulDiv(value, pixels_per_inch, 96);
}

std::string Size(int width, int height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

void CheckNoteWindow(const std::wstring& program) {
  PROCESS_INFORMATION process{};
  Check(Start(program, L" -h", process), "start with -h");
  const HWND form = WaitForWindow(process.dwProcessId, L"TNoteForm");
  Check(form != nullptr, "the note window appears");
  if (!form) {
    ::TerminateProcess(process.hProcess, 99);
    return;
  }
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);

  Check(WindowText(form) == "Note", "caption \"Note\"");
  const LONG_PTR style = ::GetWindowLongPtrW(form, GWL_STYLE);
  Check((style & WS_THICKFRAME) != 0, "sizeable border");
  RECT client{};
  ::GetClientRect(form, &client);
  Check(client.right == Scaled(762, dpi) && client.bottom == Scaled(606, dpi),
        "client area 762 x 606 at 96 dpi: " + Size(client.right, client.bottom));
  RECT frame{};
  ::GetWindowRect(form, &frame);
  Check(frame.left == Scaled(187, dpi) && frame.top == Scaled(192, dpi),
        "placed at 187, 192: " + std::to_string(frame.left) + ", " + std::to_string(frame.top));

  const HWND memo = ::GetWindow(form, GW_CHILD);
  Check(memo != nullptr && ClassName(memo) == L"Edit", "MemoNote is an edit box");
  if (!memo) {
    CloseAndWait(form, process);
    return;
  }
  const LONG_PTR memo_style = ::GetWindowLongPtrW(memo, GWL_STYLE);
  const LONG_PTR wanted = ES_MULTILINE | ES_READONLY | WS_HSCROLL | WS_VSCROLL | ES_AUTOHSCROLL;
  Check((memo_style & wanted) == wanted && (memo_style & WS_BORDER) == 0,
        "multi-line, read-only, both scroll bars, no word wrap, no border");
  Check(WindowText(memo) == kv::UsageText("\r\n"), "the usage text");
  RECT memo_rect{};
  ::GetWindowRect(memo, &memo_rect);
  ::MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&memo_rect), 2);
  Check(memo_rect.left == Scaled(8, dpi) && memo_rect.top == Scaled(8, dpi) &&
            memo_rect.right - memo_rect.left == Scaled(746, dpi) &&
            memo_rect.bottom - memo_rect.top == Scaled(590, dpi),
        "MemoNote at 8, 8 of 746 x 590");
  // Anchored to all four sides: the margins stay when the window grows.
  ::SetWindowPos(form, nullptr, 0, 0, frame.right - frame.left + 100, frame.bottom - frame.top + 50,
                 SWP_NOMOVE | SWP_NOZORDER);
  ::Sleep(500);
  ::GetWindowRect(memo, &memo_rect);
  Check(memo_rect.right - memo_rect.left == Scaled(746, dpi) + 100 &&
            memo_rect.bottom - memo_rect.top == Scaled(590, dpi) + 50,
        "MemoNote grows with the window: " +
            Size(memo_rect.right - memo_rect.left, memo_rect.bottom - memo_rect.top));

  Check(CloseAndWait(form, process) == 1, "closing the note window ends with exit code 1");
}

void CheckMainWindow(const std::wstring& program) {
  PROCESS_INFORMATION process{};
  Check(Start(program, L"", process), "start without arguments");
  const HWND form = WaitForWindow(process.dwProcessId, L"TKVSetupConfiguratorMainForm");
  Check(form != nullptr, "the main window appears");
  if (!form) {
    ::TerminateProcess(process.hProcess, 99);
    return;
  }
  Check(WindowText(form) == "KV Setup configurator", "caption \"KV Setup configurator\"");
  Check(CloseAndWait(form, process) == 0, "closing the main window ends with exit code 0");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::printf("usage: kv_window_probe PROGRAM.exe\n");
    return 2;
  }
  // Without a console of its own the probe leaves the program none to attach to.
  ::FreeConsole();
  CheckNoteWindow(argv[1]);
  CheckMainWindow(argv[1]);
  return failures == 0 ? 0 : 1;
}
