// kvreadback: shows what a setup file holds: its Authenticode signature and whether its digest
// still matches the content, its data area, the configuration package ("KVConfig") with its
// settings and signature state, and the answer file ("AutoInstall"); as text or as JSON.
// Optionally saves both stored blobs to files.
//
//   kvreadback SETUP [--json] [--package FILE] [--answer FILE]
//
// Exit code 0 when the package was found, 1 otherwise (2 for a wrong command line).
#include "tools/readback/ReadBack.h"

#include <cstdio>

#include "base/Failure.h"
#include "inspect/SetupContents.h"
#include "inspect/SetupContentsText.h"
#include "setupfile/FileStream.h"
#include "setupfile/ZNTUtils.h"

namespace kv {
namespace {

constexpr int kExitFound = 0;
constexpr int kExitNotFound = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "usage: kvreadback SETUP [--json] [--package FILE] [--answer FILE]\n"
    "Shows what the setup file SETUP (.exe or .msi) holds: its Authenticode signature and\n"
    "whether its digest still matches the content, its data area, the configuration package\n"
    "(its settings and signature state) and the answer file stored in it.\n"
    "  --json          print the same fields as JSON\n"
    "  --package FILE  save the stored package to FILE\n"
    "  --answer FILE   save the stored answer file to FILE\n"
    "Exit codes: 0 the package was found, 1 no package or a copy not written, 2 bad usage.\n";

struct TReadBackOptions {
  std::string SetupFile;
  std::string PackageCopy;
  std::string AnswerCopy;
  bool Json = false;
};

bool ParseOptions(const std::vector<std::string>& arguments, TReadBackOptions& options) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool has_value = i + 1 < arguments.size();
    if (argument == "--package" && has_value) {
      options.PackageCopy = arguments[++i];
    } else if (argument == "--answer" && has_value) {
      options.AnswerCopy = arguments[++i];
    } else if (argument == "--json") {
      options.Json = true;
    } else if (options.SetupFile.empty() && !HasPrefix("--", argument)) {
      options.SetupFile = argument;
    } else {
      return false;
    }
  }
  return !options.SetupFile.empty();
}

// The record is a byte string: written as it is, zero bytes included.
void PrintText(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
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
  const SetupInspection record = InspectSetupFile(options.SetupFile);
  PrintText(options.Json ? InspectionJson(record) : InspectionText(record));
  std::fflush(stdout);
  if (record.Package.Store == PackageStore::kNone) {
    std::fprintf(stderr, "kvreadback: no configuration package in ");
    std::fwrite(options.SetupFile.data(), 1, options.SetupFile.size(), stderr);
    std::fprintf(stderr, "\n");
    return kExitNotFound;
  }
  if (!SaveCopy(options.PackageCopy, record.Package.Text) ||
      !SaveCopy(options.AnswerCopy, record.Answer.Text)) {
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
