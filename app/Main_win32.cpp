// The Windows program. The same code builds KVSetupConfigurator.exe (GUI subsystem: no console
// window from Explorer; it writes to the console of the process that started it) and its
// console-subsystem twin KVSetupConfigurator.com, which cmd finds first and waits for. Arguments
// are read as UTF-16 and passed on as UTF-8, so file names with any characters work.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/ConsoleOutput_win32.h"
#include "app/MainWindow_win32.h"
#include "app/MessageDialog_win32.h"
#include "app/NoteForm_win32.h"
#include "app/ProgramEntry.h"
#include "base/WinText_win32.h"
#include "ui/Window_win32.h"

namespace kv {
namespace {

class Win32Host final : public ProgramHost {
 public:
  std::string_view LineEnd() const override { return "\r\n"; }
  bool WriteOutput(const std::string& text) override { return WriteToStartingConsole(text); }
  bool OutputIsTerminal() override { return StartingConsoleIsTerminal(); }
  void WriteError(const std::string& text) override { WriteToStartingConsole(text); }
  void ShowNote(const std::string& text) override {
    InitWindowControls();
    ShowNoteForm(text);
  }
  int RunWithoutArguments() override {
    InitWindowControls();
    return RunMainWindow();
  }
  TUiLanguage Language() const override { return UiLanguage(); }

 private:
  static void InitWindowControls() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);
    SetWindowFailureHook(&ReportWindowFailure);
  }
};

// The arguments after the program name, split by the platform's usual rules.
std::vector<std::string> CommandLineArguments() {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* list = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!list)
    return arguments;
  for (int i = 1; i < count; ++i)
    arguments.push_back(WideToUtf8(list[i]));
  ::LocalFree(list);
  return arguments;
}

}  // namespace
}  // namespace kv

int main() {
  kv::Win32Host host;
  return kv::RunProgram(kv::CommandLineArguments(), host);
}
