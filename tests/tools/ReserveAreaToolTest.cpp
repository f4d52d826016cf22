#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

// osslsigncode's verdict on a signed file, with the fixtures' throwaway CA as the trust anchor of
// signers and time stamps; a wrong PE checksum counts as a failure.
bool SignatureVerifies(const std::string& file, const test::TempDir& dir) {
  const CommandResult run = RunCommand({"osslsigncode", "verify", "-CAfile", Fixture("ca.pem"),
                                        "-TSA-CAfile", Fixture("ca.pem"), "-in", file},
                                       dir);
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
      {"setup-noarea.exe", -1}, {"setup-noarea.msi", -1},     {"setup-timestamped.exe", -1},
      {"setup-dse.msi", -1},
  };
  for (const auto& [name, length] : rows) {
    EXPECT_TRUE(SignatureVerifies(Fixture(name), dir)) << name;
    EXPECT_EQ(ZeroAreaLength(Fixture(name)), length) << name;
  }
}

// Prepared with and without the CA (then the chain cannot be built and the tool checks the
// digests only), from plain, time-stamped (expired signer) and MsiDigitalSignatureEx inputs: the
// prepared copy and a copy configured from it both verify with the CA.
TEST(ReserveAreaToolTest, PreparedAndConfiguredFilesVerifyAndHoldExactlyTheArea) {
  struct Row {
    std::string input;
    std::uint32_t size;
    bool with_ca;
  };
  const Row rows[] = {
      {"setup-noarea.exe", 1, false},          {"setup-noarea.exe", 127, true},
      {"setup-noarea.exe", 128, false},        {"setup-noarea.exe", 65536, true},
      {"setup-noarea.exe", 1000000, false},    {"setup-noarea.msi", 200, false},
      {"setup-noarea.msi", 65536, true},       {"setup-noarea.msi", 1000000, false},
      {"setup-timestamped.exe", 65536, false}, {"setup-timestamped.exe", 4096, true},
      {"setup-dse.msi", 65536, false},         {"setup-dse.msi", 4096, true},
  };
  const std::string package = test::SourceDir() + "/tests/fixtures/legacy-package.txt";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.input + " " + std::to_string(row.size) + (row.with_ca ? " with CA" : ""));
    test::TempDir dir;
    const std::string prepared = dir.Path("prepared-" + row.input);
    std::vector<std::string> args = {KV_RESERVEAREA_TOOL};
    if (row.with_ca)
      args.insert(args.end(), {"--ca-file", Fixture("ca.pem")});
    args.insert(args.end(), {Fixture(row.input), std::to_string(row.size), prepared});
    const CommandResult run = RunCommand(args, dir);
    ASSERT_EQ(run.exit_code, 0) << run.output;
    EXPECT_NE(run.output.find("area of " + std::to_string(row.size) + " bytes"), std::string::npos);
    EXPECT_TRUE(SignatureVerifies(prepared, dir));
    EXPECT_EQ(ZeroAreaLength(prepared), row.size);
    EXPECT_TRUE(FolderHasOnly(dir.Root(), 2)) << "work files left behind";
    if (row.size < 1000)
      continue;  // too small for the package
    const std::string configured = dir.Path("configured-" + row.input);
    const CommandResult configure = RunCommand(
        {KV_CONFIGURATOR_PROGRAM, "-cf:" + package, "-src:" + prepared, "-out:" + configured}, dir);
    ASSERT_EQ(configure.exit_code, 0) << configure.output;
    EXPECT_TRUE(SignatureVerifies(configured, dir));
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
      {{Fixture("setup-broken.exe"), "100", out}, out, 1, "does not match its contents"},
      {{"--ca-file", "/etc/ssl/certs/ca-certificates.crt", exe, "100", out},
       out,
       1,
       "does not verify against the trust anchors"},
      {{exe, "100"}, out, 2, "expected INPUT, AREA_SIZE and OUTPUT"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = {KV_RESERVEAREA_TOOL};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const CommandResult run = RunCommand(args, dir);
    EXPECT_EQ(run.exit_code, row.exit_code) << row.message << "\n" << run.output;
    EXPECT_NE(run.output.find(row.message), std::string::npos) << run.output;
    EXPECT_FALSE(test::FileExists(row.output)) << row.message;
    if (row.exit_code == 1) {
      EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
    }
  }
  // --verbose adds what osslsigncode printed, before the same one line.
  const CommandResult verbose =
      RunCommand({KV_RESERVEAREA_TOOL, "--verbose", Fixture("setup-broken.exe"), "100", out}, dir);
  EXPECT_EQ(verbose.exit_code, 1);
  EXPECT_NE(verbose.output.find("Calculated message digest"), std::string::npos);
  EXPECT_NE(verbose.output.find("does not match its contents"), std::string::npos);
  EXPECT_FALSE(test::FileExists(out));
  // Nothing but the log of the last command and the locked folder is left.
  EXPECT_TRUE(FolderHasOnly(dir.Root(), 2));
  EXPECT_TRUE(FolderHasOnly(locked, 0));
}

}  // namespace
}  // namespace kv
