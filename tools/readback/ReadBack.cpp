// kvreadback: shows what a setup file holds: its Authenticode signature and whether its digest
// still matches the content, its data area, the configuration package ("KVConfig") with its
// settings and signature state, and the answer file ("AutoInstall"); as text or as JSON.
// Optionally saves both stored blobs to files.
//
//   kvreadback SETUP [--json] [--package FILE] [--answer FILE] [--ca FILE]...
//   kvreadback --verify [--ca FILE]... [--json] SETUP
//
// Exit code 0 when the package was found, 1 otherwise (2 for a wrong command line); with
// --verify, 0 only for a valid signature and one code per kind of failure (kVerifyCodes).
#include "tools/readback/ReadBack.h"

#include <cstdio>

#include "base/Failure.h"
#include "contents/SetupContents.h"
#include "contents/SetupContentsText.h"
#include "crypto/CertificateCheck.h"
#include "setupfile/FileStream.h"
#include "setupfile/ZNTUtils.h"

namespace kv {
namespace {

constexpr int kExitFound = 0;
constexpr int kExitNotFound = 1;
constexpr int kExitUsage = 2;
// A file of trusted roots bigger than this is no file of certificates.
constexpr std::int64_t kMaxRootsSize = 16 * 1024 * 1024;

// --verify: the exit code of each verdict and of each step an invalid verdict fails at.
constexpr int kExitAbsent = 3;
constexpr int kExitNotChecked = 4;
struct VerifyCode {
  const char* step;
  int code;
};
constexpr VerifyCode kVerifyCodes[] = {
    {kStepCertificateTable, 5}, {kStepStructure, 5}, {kStepContentDigest, 6},
    {kStepMessageDigest, 7},    {kStepSignature, 8}, {kStepTimeStamp, 9},
    {kStepChain, 10},
};

constexpr char kUsage[] =
    "usage: kvreadback SETUP [--json] [--package FILE] [--answer FILE] [--ca FILE]...\n"
    "       kvreadback --verify [--ca FILE]... [--json] SETUP\n"
    "Shows what the setup file SETUP (.exe or .msi) holds: the verdict on its Authenticode\n"
    "signatures and every step of their check, its data area, the configuration package\n"
    "(its settings and signature state) and the answer file stored in it.\n"
    "  --json          print the same fields as JSON\n"
    "  --package FILE  save the stored package to FILE\n"
    "  --answer FILE   save the stored answer file to FILE\n"
    "  --ca FILE       trusted root certificates (PEM); the signers' chains must reach one\n"
    "                  (without: on Windows this computer's roots, elsewhere not checked)\n"
    "  --verify        print the verdict in one line; the exit code tells it\n"
    "Exit codes: 0 the package was found, 1 no package or a copy not written, 2 bad usage.\n"
    "With --verify: 0 valid (the chain trusted too, where checked), 2 bad usage, 3 not signed,\n"
    "4 not checked, 5 unreadable signature or certificate table, 6 content digest,\n"
    "7 messageDigest, 8 signature, 9 time stamp, 10 chain not trusted.\n";

struct TReadBackOptions {
  std::string SetupFile;
  std::string PackageCopy;
  std::string AnswerCopy;
  std::vector<std::string> RootFiles;
  bool Json = false;
  bool Verify = false;
};

bool ParseOptions(const std::vector<std::string>& arguments, TReadBackOptions& options) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool has_value = i + 1 < arguments.size();
    if (argument == "--package" && has_value) {
      options.PackageCopy = arguments[++i];
    } else if (argument == "--answer" && has_value) {
      options.AnswerCopy = arguments[++i];
    } else if (argument == "--ca" && has_value) {
      options.RootFiles.push_back(arguments[++i]);
    } else if (argument == "--json") {
      options.Json = true;
    } else if (argument == "--verify") {
      options.Verify = true;
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

int VerifyExitCode(const SignatureFindings& signature) {
  switch (signature.Verdict) {
    case AuthenticodeVerdict::kValid:
      return kExitFound;
    case AuthenticodeVerdict::kAbsent:
      return kExitAbsent;
    case AuthenticodeVerdict::kNotChecked:
      return kExitNotChecked;
    case AuthenticodeVerdict::kInvalid:
      break;
  }
  for (const VerifyCode& known : kVerifyCodes) {
    if (signature.VerdictStep == known.step)
      return known.code;
  }
  return kExitNotChecked;
}

int ReadBack(const TReadBackOptions& options) {
  InspectOptions inspect;
  for (const std::string& file_name : options.RootFiles) {
    std::string roots;
    std::string error;
    if (!LoadFileToString(file_name, kMaxRootsSize, roots, error)) {
      std::fprintf(stderr, "kvreadback: %s\n", error.c_str());
      return kExitUsage;
    }
    // Roots that cannot be read would fail every chain as if the setup file's were untrusted.
    if (CountPemCertificates(roots) == 0) {
      std::fprintf(stderr, "kvreadback: no PEM certificate can be read from ");
      std::fwrite(file_name.data(), 1, file_name.size(), stderr);
      std::fprintf(stderr, "\n");
      return kExitUsage;
    }
    inspect.TrustedRootsPem.push_back(std::move(roots));
  }
  const SetupInspection record = InspectSetupFile(options.SetupFile, inspect);
  if (options.Verify) {
    PrintText(options.Json ? InspectionJson(record) : VerdictLine(record.Signature));
    std::fflush(stdout);
    return VerifyExitCode(record.Signature);
  }
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
