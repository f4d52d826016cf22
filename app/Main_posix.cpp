// The command-line program on Linux: there is no window, so the program without arguments shows
// the usage text like a help switch. Usage and version go to standard output, the error line of
// a failed run to standard error, with LF line ends.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/ProgramEntry.h"

namespace kv {
namespace {

constexpr int kExitFailure = 1;

void WriteBytes(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

class PosixHost final : public ProgramHost {
 public:
  std::string_view LineEnd() const override { return "\n"; }
  bool WriteOutput(const std::string& text) override {
    WriteBytes(stdout, text);
    return true;
  }
  bool OutputIsTerminal() override { return ::isatty(STDOUT_FILENO) == 1; }
  void WriteError(const std::string& text) override { WriteBytes(stderr, text); }
  // Never called: standard output is always there to take the usage text.
  void ShowNote(const std::string&) override {}
  int RunWithoutArguments() override {
    ShowUsage(*this);
    return kExitFailure;
  }
};

}  // namespace
}  // namespace kv

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  kv::PosixHost host;
  return kv::RunProgram(arguments, host);
}
