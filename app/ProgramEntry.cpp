#include "app/ProgramEntry.h"

#include "app/BatchRun.h"
#include "app/CommandLine.h"
#include "app/RunCommandLine.h"
#include "app/UsageText.h"

namespace kv {

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

// A batch's lines on the host's output; on a terminal, a progress line before each row, which the
// row's own line then replaces.
class HostBatchConsole final : public TBatchConsole {
 public:
  explicit HostBatchConsole(ProgramHost& host) : host_(host), terminal_(host.OutputIsTerminal()) {}
  void Line(const std::string& text) override {
    host_.WriteOutput(ClearProgress() + text + std::string(host_.LineEnd()));
  }
  void Progress(int row, int rows) override {
    if (!terminal_)
      return;
    const std::string text = "row " + std::to_string(row) + " of " + std::to_string(rows) + " ...";
    host_.WriteOutput(ClearProgress() + text);
    progress_size_ = text.size();
  }

 private:
  std::string ClearProgress() {
    if (progress_size_ == 0)
      return "";
    // Carriage return, spaces over the progress text, carriage return.
    std::string blank(progress_size_ + 2, ' ');
    blank.front() = blank.back() = '\r';
    progress_size_ = 0;
    return blank;
  }

  ProgramHost& host_;
  const bool terminal_;
  std::size_t progress_size_ = 0;
};

int RunBatchOnHost(const std::vector<std::string>& arguments, ProgramHost& host) {
  HostBatchConsole console(host);
  std::string error;
  const TBatchOutcome outcome = RunBatch(arguments, console, error);
  if (outcome == TBatchOutcome::kNotRun || !error.empty())
    host.WriteError(error + std::string(host.LineEnd()));
  return outcome == TBatchOutcome::kAllStored ? kExitSuccess : kExitFailure;
}

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
  if (IsBatchRun(arguments))
    return RunBatchOnHost(arguments, host);
  std::string error;
  if (RunCommandLine(arguments, error)) {
    if (!error.empty())  // a warning about an output that is in place
      host.WriteError(error + std::string(host.LineEnd()));
    return kExitSuccess;
  }
  host.WriteError(error + std::string(host.LineEnd()));
  return kExitFailure;
}

}  // namespace kv
