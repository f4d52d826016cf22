#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "setupfile/ExeSignatureBlobUtils.h"
#include "setupfile/FileStream.h"
#include "tests/support/TestFiles.h"

namespace kv {
namespace {

struct CommandResult {
  int exit_code = -1;
  std::string output;
};

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs a program with its standard output and error captured.
CommandResult RunCommand(const std::vector<std::string>& args, const test::TempDir& dir) {
  std::string command;
  for (const std::string& arg : args)
    command += ShellQuoted(arg) + " ";
  const std::string log = dir.Path("command.log");
  command += ">" + ShellQuoted(log) + " 2>&1";
  const int status = std::system(command.c_str());
  CommandResult run;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.output = test::FileExists(log) ? test::ReadFileBytes(log) : "";
  return run;
}

std::string Fixture(const std::string& name) {
  return test::BinaryDir() + "/fixtures/" + name;
}

// osslsigncode's verdict on a signed file, with the fixtures' throwaway CA as the trust anchor;
// a wrong PE checksum counts as a failure.
bool SignatureVerifies(const std::string& file, const test::TempDir& dir) {
  const CommandResult run =
      RunCommand({"osslsigncode", "verify", "-CAfile", Fixture("ca.pem"), "-in", file}, dir);
  return run.exit_code == 0 && run.output.find("MISMATCH") == std::string::npos &&
         run.output.find("invalid PE checksum") == std::string::npos;
}

// The length of the file's data area when it is found and all zero bytes; -1 otherwise.
std::int64_t ZeroAreaLength(const std::string& file) {
  std::unique_ptr<FileStream> stream = Files().Open(file, OpenMode::kRead);
  std::string area;
  if (!ReadConfigArea(*stream, area) || area.find_first_not_of('\0') != std::string::npos)
    return -1;
  return static_cast<std::int64_t>(area.size());
}

bool FolderHasOnly(const std::filesystem::path& folder, std::size_t count) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                std::filesystem::directory_iterator())) == count;
}

TEST(FixturesTest, SignedFixturesVerifyAndHoldTheirAreas) {
  test::TempDir dir;
  const std::pair<std::string, std::int64_t> rows[] = {
      {"setup.exe", 65536},     {"setup-large.exe", 1000000}, {"setup.msi", 65536},
      {"setup-noarea.exe", -1}, {"setup-noarea.msi", -1},
  };
  for (const auto& [name, length] : rows) {
    EXPECT_TRUE(SignatureVerifies(Fixture(name), dir)) << name;
    EXPECT_EQ(ZeroAreaLength(Fixture(name)), length) << name;
  }
}

TEST(ReserveAreaToolTest, ReservedFilesVerifyAndHoldExactlyTheArea) {
  const std::pair<std::string, std::uint32_t> rows[] = {
      {"setup-noarea.exe", 1},     {"setup-noarea.exe", 127},     {"setup-noarea.exe", 128},
      {"setup-noarea.exe", 65536}, {"setup-noarea.exe", 1000000}, {"setup-noarea.msi", 200},
      {"setup-noarea.msi", 65536}, {"setup-noarea.msi", 1000000},
  };
  for (const auto& [name, size] : rows) {
    test::TempDir dir;
    const std::string output = dir.Path("out-" + name);
    const CommandResult run = RunCommand({KV_RESERVEAREA_TOOL, "--ca-file", Fixture("ca.pem"),
                                          Fixture(name), std::to_string(size), output},
                                         dir);
    ASSERT_EQ(run.exit_code, 0) << name << " " << size << "\n" << run.output;
    EXPECT_NE(run.output.find("area of " + std::to_string(size) + " bytes"), std::string::npos);
    EXPECT_TRUE(SignatureVerifies(output, dir)) << name << " " << size;
    EXPECT_EQ(ZeroAreaLength(output), size) << name;
    EXPECT_TRUE(FolderHasOnly(dir.Root(), 2)) << "work files left behind";
  }
}

TEST(ReserveAreaToolTest, BadRequestsFailClearlyAndWriteNothing) {
  test::TempDir dir;
  const std::string text_file = test::SourceDir() + "/tests/fixtures/legacy-package.txt";
  // As root a read-only folder is still writable; /proc refuses new files to everyone.
  std::string locked = dir.Path("locked");
  std::filesystem::create_directory(locked);
  ::chmod(locked.c_str(), 0555);
  const std::string read_only_output =
      ::geteuid() == 0 ? std::string("/proc/kv-reservearea-test.exe") : locked + "/out.exe";

  struct Row {
    std::vector<std::string> args;
    std::string output;
    int exit_code;
    std::string message;
  };
  const std::string out = dir.Path("out.exe");
  const std::string ca = Fixture("ca.pem");
  const std::string exe = Fixture("setup-noarea.exe");
  const Row rows[] = {
      {{"--ca-file", ca, Fixture("legacy.exe"), "100", out}, out, 1, "is the file signed?"},
      {{"--ca-file", ca, text_file, "100", out}, out, 1, "neither a PE executable nor an MSI"},
      {{"--ca-file", ca, exe, "0", out}, out, 2, "from 1 to 1048576"},
      {{"--ca-file", ca, exe, "-4", out}, out, 2, "from 1 to 1048576"},
      {{"--ca-file", ca, exe, "1048577", out}, out, 2, "from 1 to 1048576"},
      {{"--ca-file", ca, exe, "18446744073709551617", out}, out, 2, "from 1 to 1048576"},
      {{"--ca-file", ca, exe, "64k", out}, out, 2, "from 1 to 1048576"},
      {{"--ca-file", ca, dir.Path("missing.exe"), "100", out}, out, 1, "Cannot read the input"},
      {{"--ca-file", ca, exe, "100", read_only_output},
       read_only_output,
       1,
       "Cannot write beside the output file"},
      {{"--ca-file", ca, Fixture("setup.exe"), "100", out},
       out,
       1,
       "already has a configuration data area (65536 bytes"},
      {{exe, "100", out}, out, 1, "needs --ca-file"},
      {{exe, "100"}, out, 2, "expected INPUT, AREA_SIZE and OUTPUT"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = {KV_RESERVEAREA_TOOL};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const CommandResult run = RunCommand(args, dir);
    EXPECT_EQ(run.exit_code, row.exit_code) << row.message << "\n" << run.output;
    EXPECT_NE(run.output.find(row.message), std::string::npos) << run.output;
    EXPECT_FALSE(test::FileExists(row.output)) << row.message;
  }
  // Nothing but the log of the last command and the locked folder is left.
  EXPECT_TRUE(FolderHasOnly(dir.Root(), 2));
  EXPECT_TRUE(FolderHasOnly(locked, 0));
}

}  // namespace
}  // namespace kv
