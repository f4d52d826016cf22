// The unattended run against a file layer that fails: each fault ends the run with the writer's
// reason in the one error line (exit code 1), leaves no output file and the source untouched.
#include <gtest/gtest.h>

#include "app/RunCommandLine.h"
#include "tests/support/FakeFileSystems.h"
#include "tests/support/SetupImages.h"
#include "tests/support/TestFiles.h"

namespace kv {
namespace {

TEST(RunCommandLineFaultTest, FaultsEndTheRunWithTheirMessage) {
  test::TempDir dir;
  const std::string package = "Quillabrenthorst Configuration ver #2.00\r\nKVSERVERURL=x\r\n";
  const std::string package_file = dir.Path("K-VConfig.bin");
  test::WriteFileBytes(package_file, package);
  const std::string source = dir.Path("setup.exe");
  test::WriteFileBytes(source,
                       test::WithConfigArea(test::MinimalPe() + std::string(200000, 's'), 4096));
  const std::string original = test::ReadFileBytes(source);
  const std::string output = dir.Path("out.exe");
  // Reads in order: the package file, the whole (small) source for the area search, the copy.
  const std::int64_t before_copy = static_cast<std::int64_t>(package.size() + original.size());
  const std::string saving = "Saving K-VConfig.bin to new setup file fail : ";
  struct Row {
    const char* name;
    test::Faults faults;
    std::string error_start;
  };
  const Row rows[] = {
      {"copy cannot be flushed", {.refuse_flush = true}, saving + "Stream write error"},
      {"disk full in the middle of the copy", {.failing_write = 2}, saving + "Stream write error"},
      {"disk full during the list write", {.failing_write = 5}, saving + "Stream write error"},
      {"read error in the source",
       {.read_limit = before_copy + 70000},
       saving + "Stream read error"},
      {"source gone after locating", {.read_limit = before_copy}, saving + "Stream read error"},
      {"output folder read-only", {.refuse_create = true}, saving + "Cannot create file \""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::FaultyFileSystem files(row.faults);
    ScopedFileSystem scope(files);
    std::string error;
    EXPECT_FALSE(
        RunCommandLine({"-cf:" + package_file, "-src:" + source, "-out:" + output}, error));
    EXPECT_EQ(error.rfind(row.error_start, 0), 0u) << error;
    EXPECT_FALSE(test::FileExists(output));
    EXPECT_EQ(test::ReadFileBytes(source), original);
  }
}

}  // namespace
}  // namespace kv
