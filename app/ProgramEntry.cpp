#include "app/ProgramEntry.h"

#include "app/CommandLine.h"
#include "app/RunCommandLine.h"
#include "app/UsageText.h"

namespace kv {

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

}  // namespace

void ShowUsage(ProgramHost& host) {
  const std::string line_end(host.LineEnd());
  // The console's text stays English, as all console output does; the note window speaks the
  // user's language.
  if (!host.WriteOutput(UsageText(line_end) + line_end))
    host.ShowNote(UsageText(line_end, host.Language()));
}

int RunProgram(const std::vector<std::string>& arguments, ProgramHost& host) {
  if (arguments.empty())
    return host.RunWithoutArguments();
  // Help wins over every other argument, wherever it stands.
  if (AsksForHelp(arguments)) {
    ShowUsage(host);
    return kExitFailure;
  }
  if (AsksForVersion(arguments)) {
    host.WriteOutput(VersionText(host.LineEnd()));
    return kExitSuccess;
  }
  std::string error;
  if (RunCommandLine(arguments, error))
    return kExitSuccess;
  host.WriteError(error + std::string(host.LineEnd()));
  return kExitFailure;
}

}  // namespace kv
