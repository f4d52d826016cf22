#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

TEST(HelpSwitchTest, Table) {
  struct Row {
    std::string argument;
    bool help;
  };
  const Row rows[] = {
      {"-?", true},
      {"/?", true},
      {"-h", true},
      {"/H", true},
      {"-usage", true},
      {"/USAGE", true},
      {"-Help", true},
      {"/help", true},
      {"--help", true},
      {" \t-?\r\n", true},
      {std::string("\0-h", 3), true},
      {"-help2", false},
      {"--h", false},
      {"help", false},
      {"-? x", false},
      {"-cf:-?", false},
      {"", false},
      {"--version", false},
  };
  for (const Row& row : rows)
    EXPECT_EQ(IsHelpSwitch(row.argument), row.help) << row.argument;
}

TEST(HelpSwitchTest, AnywhereAmongArguments) {
  EXPECT_TRUE(AsksForHelp({"-src:a", "-out:b", "/HELP"}));
  EXPECT_TRUE(AsksForHelp({"-?", "-src:a"}));
  EXPECT_FALSE(AsksForHelp({"-src:-?", "-out:/help"}));
  EXPECT_FALSE(AsksForHelp({}));
  EXPECT_TRUE(AsksForVersion({"-src:a", " --VERSION "}));
  EXPECT_FALSE(AsksForVersion({"-version", "--version2"}));
}

TEST(ParseSwitchesTest, Table) {
  struct Row {
    std::vector<std::string> arguments;
    TCommandLineValues expected;
  };
  const Row rows[] = {
      {{"-cf:p.bin", "-cu:http://h", "-ai:a.srg", "-src:s.exe", "-out:o.exe"},
       {"p.bin", "http://h", "a.srg", "s.exe", "o.exe", "", ""}},
      // Case is ignored in the switch, kept in the value.
      {{"-CF:P.bin", "-Src:S.EXE", "-OUT:o"}, {"P.bin", "", "", "S.EXE", "o", "", ""}},
      // Slash forms and unknown words are ignored.
      {{"/cf:p", "/src:s", "hello", "-x:y"}, {}},
      // A later value replaces an earlier one, also with an empty one.
      {{"-src:first", "-src:second", "-out:o", "-out:"}, {"", "", "", "second", "", "", ""}},
      // The argument is trimmed; the value after the switch is not trimmed again.
      {{"  -cf: a b \t", "\n-out:x\r"}, {" a b", "", "", "", "x", "", ""}},
      // The value keeps everything after the switch, another switch included.
      {{"-src:-out:x"}, {"", "", "", "-out:x", "", "", ""}},
      {{"-cf:"}, {}},
      // The batch switches; "-list:" and "-receipt:" are told apart from the others.
      {{"-LIST:l.csv", "-receipt:r.json", "-src:s", "-list:"}, {"", "", "", "s", "", "", "r.json"}},
      {{"-list:-receipt:x"}, {"", "", "", "", "", "-receipt:x", ""}},
  };
  for (const Row& row : rows) {
    const TCommandLineValues values = ParseSwitches(row.arguments);
    const std::string where = row.arguments.empty() ? "" : row.arguments.front();
    EXPECT_EQ(values.PackageFile, row.expected.PackageFile) << where;
    EXPECT_EQ(values.ServerURL, row.expected.ServerURL) << where;
    EXPECT_EQ(values.AnswerFile, row.expected.AnswerFile) << where;
    EXPECT_EQ(values.SourceFile, row.expected.SourceFile) << where;
    EXPECT_EQ(values.OutputFile, row.expected.OutputFile) << where;
    EXPECT_EQ(values.ListFile, row.expected.ListFile) << where;
    EXPECT_EQ(values.ReceiptFile, row.expected.ReceiptFile) << where;
  }
}

}  // namespace
}  // namespace kv
