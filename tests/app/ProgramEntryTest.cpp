#include "app/ProgramEntry.h"

#include <gtest/gtest.h>

#include "app/UsageText.h"
#include "tests/support/TestFiles.h"

namespace kv {
namespace {

// Records what the program shows; has_console decides whether console text can be written.
class FakeHost final : public ProgramHost {
 public:
  explicit FakeHost(bool has_console, bool terminal = false)
      : has_console_(has_console), terminal_(terminal) {}
  bool OutputIsTerminal() override { return terminal_; }
  std::string_view LineEnd() const override { return "\r\n"; }
  bool WriteOutput(const std::string& text) override {
    if (has_console_)
      output += text;
    return has_console_;
  }
  void WriteError(const std::string& text) override { errors += text; }
  void ShowNote(const std::string& text) override { notes += text; }
  int RunWithoutArguments() override {
    ++interactive_runs;
    return 7;
  }

  std::string output, errors, notes;
  int interactive_runs = 0;

 private:
  bool has_console_;
  bool terminal_;
};

TEST(ProgramEntryTest, PathsAndExitCodes) {
  const std::string usage = UsageText("\r\n");
  struct Row {
    std::vector<std::string> arguments;
    bool has_console;
    int exit_code;
    std::string output, errors, notes;
    int interactive_runs;
  };
  const Row rows[] = {
      {{}, true, 7, "", "", "", 1},
      // Help wins wherever it stands; on a console the text ends with an empty line.
      {{"-src:a", "-out:b", "/HELP"}, true, 1, usage + "\r\n", "", "", 0},
      {{"--help", "--version"}, true, 1, usage + "\r\n", "", "", 0},
      // Without a console the usage text goes to the note window.
      {{"-?"}, false, 1, "", "", usage, 0},
      {{"--version", "-src:a"}, true, 0, VersionText("\r\n"), "", "", 0},
      // Any other argument starts an unattended run; its failure is one line.
      {{"hello"}, true, 1, "", "Source setup file name is not specified\r\n", "", 0},
      {{"-src:a"}, false, 1, "", "Output setup file name is not specified\r\n", "", 0},
      {{"-src:a", "-out:b", "-cf:", "-cu:"},
       true,
       1,
       "",
       "K-VConfig file name or URL for download must be specified\r\n",
       "",
       0},
  };
  for (const Row& row : rows) {
    FakeHost host(row.has_console);
    const std::string where = row.arguments.empty() ? "(none)" : row.arguments.back();
    EXPECT_EQ(RunProgram(row.arguments, host), row.exit_code) << where;
    EXPECT_EQ(host.output, row.output) << where;
    EXPECT_EQ(host.errors, row.errors) << where;
    EXPECT_EQ(host.notes, row.notes) << where;
    EXPECT_EQ(host.interactive_runs, row.interactive_runs) << where;
  }
}

TEST(ProgramEntryTest, BatchLinesWithProgressOnTerminalsOnly) {
  test::TempDir dir;
  const std::string list = dir.Path("list.csv");
  test::WriteFileBytes(list, "out\r\na.exe\r\nb.exe\r\n./a.exe\r\n");
  const std::string missing = dir.Path("missing.bin");
  const std::vector<std::string> arguments = {"-src:" + missing, "-cf:" + missing, "-list:" + list};
  const std::string progress = "row 2 of 3 ...";
  std::string cleared(progress.size() + 2, ' ');  // the progress line blanked out
  cleared.front() = cleared.back() = '\r';
  for (const bool terminal : {false, true}) {
    FakeHost host(true, terminal);
    EXPECT_EQ(RunProgram(arguments, host), 1);
    EXPECT_EQ(host.errors, "");
    const std::string& text = host.output;
    // The progress line comes before the row's own line, which replaces it.
    const std::string row_line = "row 2 (line 3): FAILED \"" + dir.Path("b.exe") + "\": ";
    EXPECT_NE(text.find((terminal ? progress + cleared : "\r\n") + row_line), std::string::npos)
        << text;
    EXPECT_EQ(text.find("of 3") != std::string::npos, terminal) << text;
    // An output named twice: the second row is refused before anything is read.
    EXPECT_NE(text.find(": Output setup file is named by row 1 as well\r\n"), std::string::npos)
        << text;
    EXPECT_TRUE(text.ends_with("\r\n3 rows: 0 written, 3 failed, 0 skipped\r\n")) << text;
  }
}

}  // namespace
}  // namespace kv
