// kvreadback: shows what a configured setup file carries. Reads the configuration package
// ("KVConfig") and the answer file ("AutoInstall") back out of the file's data area, parses the
// package and prints its settings and signature state; optionally saves both blobs to files.
//
//   kvreadback SETUP [--package FILE] [--answer FILE]
//
// Exit code 0 when the package was found, 1 otherwise (2 for a wrong command line).
#include "tools/readback/ReadBack.h"

#include <cstdio>

#include "base/Failure.h"
#include "config/ConfigPackage.h"
#include "setupfile/FileStream.h"
#include "setupfile/SetupReader.h"
#include "setupfile/ZNTUtils.h"

namespace kv {
namespace {

constexpr int kExitFound = 0;
constexpr int kExitNotFound = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "usage: kvreadback SETUP [--package FILE] [--answer FILE]\n"
    "Shows the configuration package (its settings and signature state) and the answer file\n"
    "stored in the configured setup file SETUP (.exe or .msi).\n"
    "  --package FILE  save the stored package to FILE\n"
    "  --answer FILE   save the stored answer file to FILE\n"
    "Exit codes: 0 the package was found, 1 no package or a copy not written, 2 bad usage.\n";

struct TReadBackOptions {
  std::string SetupFile;
  std::string PackageCopy;
  std::string AnswerCopy;
};

bool ParseOptions(const std::vector<std::string>& arguments, TReadBackOptions& options) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool has_value = i + 1 < arguments.size();
    if (argument == "--package" && has_value) {
      options.PackageCopy = arguments[++i];
    } else if (argument == "--answer" && has_value) {
      options.AnswerCopy = arguments[++i];
    } else if (options.SetupFile.empty() && !HasPrefix("--", argument)) {
      options.SetupFile = argument;
    } else {
      return false;
    }
  }
  return !options.SetupFile.empty();
}

// Values are byte strings: written as they are, zero bytes included.
void PrintText(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void PrintField(const char* name, const std::string& value) {
  std::printf("  %-14s ", name);
  PrintText(value + "\n");
}

void PrintPackage(const std::string& text) {
  TKVConfigBinData package;
  std::string error;
  const bool parsed = ParseConfigPackage(text, package, error);
  std::printf("KVConfig: %zu bytes, signature %s\n", text.size(),
              SignatureStateName(package.SignatureState));
  if (!parsed)
    PrintText("  not accepted by the parser: " + error + "\n");
  PrintField("KVSERVERURL", package.ServerURL);
  PrintField("RAURL", package.RAURL);
  PrintField("REGEMAILTO", package.RegEmailTo);
  PrintField("REGSMTPSERVER", package.RegSMTPServer);
  PrintField("REGSMTPPORT", package.RegSMTPPort);
  PrintField("REGSMTPSSL", package.RegSMTPSSL);
  PrintField("COMPANY", package.Company);
  PrintField("COMPANYLOGO", std::to_string(package.CompanyLogo.size()) + " bytes");
}

bool SaveCopy(const std::string& file_name, const std::string& bytes) {
  if (file_name.empty())
    return true;
  std::string error;
  if (RunReportingFailure([&] { Files().Open(file_name, OpenMode::kCreate)->Write(bytes); }, error))
    return true;
  std::fprintf(stderr, "kvreadback: %s\n", error.c_str());
  return false;
}

int ReadBack(const TReadBackOptions& options) {
  std::string package;
  if (!ReadBlobFromSetup(options.SetupFile, "KVConfig", package)) {
    std::fprintf(stderr, "kvreadback: no configuration package in ");
    std::fwrite(options.SetupFile.data(), 1, options.SetupFile.size(), stderr);
    std::fprintf(stderr, "\n");
    return kExitNotFound;
  }
  PrintPackage(package);
  std::string answer;
  if (ReadBlobFromSetup(options.SetupFile, "AutoInstall", answer))
    std::printf("AutoInstall: %zu bytes\n", answer.size());
  else
    std::printf("AutoInstall: none\n");
  if (!SaveCopy(options.PackageCopy, package) || !SaveCopy(options.AnswerCopy, answer)) {
    return kExitNotFound;
  }
  return kExitFound;
}

}  // namespace

int RunReadBack(const std::vector<std::string>& arguments) {
  if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "--version")) {
    std::fputs(arguments[0] == "--help" ? kUsage : "kvreadback " KV_PROGRAM_VERSION "\n", stdout);
    return kExitFound;
  }
  TReadBackOptions options;
  if (!ParseOptions(arguments, options)) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  return ReadBack(options);
}

}  // namespace kv
