#include <windows.h>

#include <algorithm>

#include "app/ConsoleOutput_win32.h"
#include "app/ConsoleTarget.h"
#include "base/WinText_win32.h"

namespace kv {

namespace {

StandardOutputKind ClassifyHandle(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
    return StandardOutputKind::kMissing;
  DWORD mode = 0;
  if (::GetConsoleMode(handle, &mode))
    return StandardOutputKind::kConsole;
  // A handle the starter redirected: a file, a pipe or a device such as NUL.
  return ::GetFileType(handle) == FILE_TYPE_UNKNOWN ? StandardOutputKind::kMissing
                                                    : StandardOutputKind::kRedirected;
}

AttachResult AttachToParentConsole() {
  if (::AttachConsole(ATTACH_PARENT_PROCESS))
    return AttachResult::kAttached;
  return ::GetLastError() == ERROR_ACCESS_DENIED ? AttachResult::kAlreadyAttached
                                                 : AttachResult::kFailed;
}

// Writes the bytes; stops at the first failure (a reader that went away).
void WriteAll(HANDLE handle, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 20));
    if (!::WriteFile(handle, text.data() + done, chunk, &written, nullptr) || written == 0)
      return;
    done += written;
  }
}

// Consoles take UTF-16, so file names with any characters show as they are.
void WriteToConsole(HANDLE console, const std::string& text) {
  const std::wstring wide = Utf8ToWide(text);
  DWORD written = 0;
  if (!::WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr))
    WriteAll(console, text);
}

// False when the attached console cannot be opened for output.
bool WriteToParentConsole(const std::string& text) {
  const HANDLE console =
      ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (console == INVALID_HANDLE_VALUE)
    return false;
  WriteToConsole(console, text);
  ::CloseHandle(console);
  return true;
}

ConsoleTarget StartingConsoleTarget() {
  return ChooseConsoleTarget(ClassifyHandle(::GetStdHandle(STD_OUTPUT_HANDLE)),
                             AttachToParentConsole);
}

}  // namespace

bool StartingConsoleIsTerminal() {
  const ConsoleTarget target = StartingConsoleTarget();
  return target == ConsoleTarget::kOwnConsole || target == ConsoleTarget::kParentConsole;
}

bool WriteToStartingConsole(const std::string& text) {
  // A failed write (a closed pipe) still counts as written: the text had its place.
  const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  switch (StartingConsoleTarget()) {
    case ConsoleTarget::kStandardOutput:
      WriteAll(output, text);
      return true;
    case ConsoleTarget::kOwnConsole:
      WriteToConsole(output, text);
      return true;
    case ConsoleTarget::kParentConsole:
      return WriteToParentConsole(text);
    case ConsoleTarget::kNowhere:
      break;
  }
  return false;
}

}  // namespace kv
