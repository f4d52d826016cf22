// kvpackage: writes and checks signed configuration packages ("K-VConfig.bin").
//
//   kvpackage --key PRIVATE.pem --company NAME [--logo LOGO.png] [--lf] [--width N]
//             [--allow-no-url] --out K-VConfig.bin ENTRIES.txt
//   kvpackage --check [--pubkey PUBLIC.pem] [--time] K-VConfig.bin
//   kvpackage --bench [--pubkey PUBLIC.pem] [--rounds N] K-VConfig.bin
//
// Exit codes: 0 success, 1 failure (one "kvpackage: error: ..." line on stderr), 2 bad usage.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "base/Failure.h"
#include "config/ConfigPackage.h"
#include "config/PackageParser.h"
#include "config/PackageSignature.h"
#include "setupfile/ZNTUtils.h"
#include "tools/package/OpenSslKey.h"
#include "tools/package/PackageBench.h"
#include "tools/package/PackageBuilder.h"

namespace kv::tool {
namespace {

constexpr const char* kUsage =
    "usage: kvpackage --key PRIVATE.pem --company NAME [--logo LOGO.png] [--lf] [--width N]\n"
    "                 [--allow-no-url] --out K-VConfig.bin ENTRIES.txt\n"
    "       kvpackage --check [--pubkey PUBLIC.pem] [--time] K-VConfig.bin\n"
    "       kvpackage --bench [--pubkey PUBLIC.pem] [--rounds N] K-VConfig.bin\n";
constexpr std::int64_t kMaxInputSize = 1048576;
constexpr int kDefaultRounds = 31;
constexpr int kMaxRounds = 100000;

struct Options {
  bool check = false;
  bool bench = false;
  bool time = false;
  bool allow_no_url = false;
  bool lf = false;
  std::size_t width = 76;
  int rounds = kDefaultRounds;
  std::string key_file, public_key_file, logo_file, out_file, input_file;
  std::optional<std::string> company;
};

int Fail(const std::string& message) {
  std::cerr << "kvpackage: error: " << message << "\n";
  return 1;
}

int UsageError(const std::string& message) {
  std::cerr << "kvpackage: " << message << "\n" << kUsage;
  return 2;
}

// Fills options; returns an empty text or the usage problem.
std::string ParseArguments(const std::vector<std::string>& args, Options& options) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool has_value = i + 1 < args.size();
    if (arg == "--check") {
      options.check = true;
    } else if (arg == "--bench") {
      options.bench = true;
    } else if (arg == "--time") {
      options.time = true;
    } else if (arg == "--lf") {
      options.lf = true;
    } else if (arg == "--allow-no-url") {
      options.allow_no_url = true;
    } else if (arg == "--key" || arg == "--pubkey" || arg == "--company" || arg == "--logo" ||
               arg == "--out" || arg == "--width" || arg == "--rounds") {
      if (!has_value)
        return arg + " needs a value";
      const std::string& value = args[++i];
      if (arg == "--key")
        options.key_file = value;
      else if (arg == "--pubkey")
        options.public_key_file = value;
      else if (arg == "--company")
        options.company = value;
      else if (arg == "--logo")
        options.logo_file = value;
      else if (arg == "--out")
        options.out_file = value;
      else if (value.empty() || value.size() > 9 ||
               value.find_first_not_of("0123456789") != std::string::npos)
        return arg + " needs a number";
      else if (arg == "--width")
        options.width = std::stoul(value);
      else
        options.rounds = std::stoi(value);
    } else if (HasPrefix("-", arg) && arg != "-") {
      return "unknown option " + arg;
    } else if (options.input_file.empty()) {
      options.input_file = arg;
    } else {
      return "more than one input file";
    }
  }
  if (options.rounds < 1 || options.rounds > kMaxRounds)
    return "--rounds needs a number from 1 to " + std::to_string(kMaxRounds);
  if (options.check && options.bench)
    return "--check and --bench exclude each other";
  const bool reads_package = options.check || options.bench;
  if (options.input_file.empty())
    return reads_package ? "name the package to check" : "name the entry list (ENTRIES.txt)";
  if (!reads_package && (options.key_file.empty() || !options.company || options.out_file.empty()))
    return "--key, --company and --out are required";
  return {};
}

bool LoadInput(const std::string& path, const char* what, std::string& content,
               std::string& error) {
  if (LoadFileToString(path, kMaxInputSize, content, error))
    return true;
  error = std::string("cannot read ") + what + " \"" + path + "\": " + error;
  return false;
}

bool WriteOutput(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (out)
    return true;
  std::remove(path.c_str());
  return false;
}

// Loads the package and the public key to check it with.
bool LoadPackageAndKey(const Options& options, std::string& package, std::string& public_key,
                       std::string& error) {
  public_key = BuiltInPublicKey();
  return LoadInput(options.input_file, "the package", package, error) &&
         (options.public_key_file.empty() ||
          LoadInput(options.public_key_file, "the public key", public_key, error));
}

int Bench(const Options& options) {
  std::string package, public_key, error;
  if (!LoadPackageAndKey(options, package, public_key, error) ||
      !RunPackageBench(package, public_key, options.rounds, std::cout, error))
    return Fail(error);
  return 0;
}

int Check(const Options& options) {
  std::string package, public_key, error;
  if (!LoadPackageAndKey(options, package, public_key, error))
    return Fail(error);
  TKVConfigBinData data;
  const auto start = std::chrono::steady_clock::now();
  const bool accepted = ParseConfigPackageWithKey(std::move(package), data, error, public_key);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  if (options.time) {
    std::cout << "parse and verify: "
              << std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() << " us\n";
  }
  std::cout << "server URL: " << data.ServerURL << "\n"
            << "company: " << data.Company << "\n"
            << "logo: " << data.CompanyLogo.size() << " bytes\n"
            << "signature: " << SignatureStateName(data.SignatureState) << "\n";
  if (!accepted)
    return Fail(error.empty() ? "the package sets no server URL" : error);
  return data.SignatureState == SignatureValid ? 0 : Fail("the signature is not valid");
}

int Write(const Options& options) {
  std::string key_text, entry_text, error;
  if (!LoadInput(options.key_file, "the private key", key_text, error) ||
      !LoadInput(options.input_file, "the entry list", entry_text, error))
    return Fail(error);
  PackageContent content;
  content.company = *options.company;
  content.line_end = options.lf ? "\n" : "\r\n";
  content.piece_width = options.width;
  if (!options.logo_file.empty() && !LoadInput(options.logo_file, "the logo", content.logo, error))
    return Fail(error);
  if (!ReadEntryList(entry_text, content.entries, error))
    return Fail(options.input_file + ": " + error);
  if (!options.allow_no_url && !HasServerUrl(content.entries))
    return Fail(options.input_file +
                ": no KVSERVERURL entry; the program refuses a package without one "
                "(--allow-no-url writes it anyway)");
  RsaPrivateKey key;
  std::string public_key;
  if (!key.Load(key_text, error) || !key.PublicKeyPem(public_key, error))
    return Fail(options.key_file + ": " + error);
  std::string package;
  const SignFunction sign = [&key](std::string_view message, std::string& signature,
                                   std::string& sign_error) {
    return key.SignSha512(message, signature, sign_error);
  };
  if (!BuildPackage(content, sign, package, error))
    return Fail(error);

  // Read the result back as the program will, so a package that would not check out is never
  // written.
  TKVConfigBinData data;
  ParseConfigPackageWithKey(package, data, error, public_key);
  if (data.SignatureState != SignatureValid || data.Company != content.company ||
      data.CompanyLogo != content.logo)
    return Fail("internal error: the written package does not read back");
  if (!WriteOutput(options.out_file, package))
    return Fail("cannot write \"" + options.out_file + "\"");
  if (public_key != BuiltInPublicKey())
    std::cerr << "kvpackage: note: this key is not the one built into this build; its program "
                 "will report the signature as invalid\n";
  return 0;
}

}  // namespace
}  // namespace kv::tool

int main(int argc, char** argv) {
  using namespace kv::tool;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "--version")) {
    std::cout << (args[0] == "--help" ? kUsage : "kvpackage " KV_PROGRAM_VERSION "\n");
    return 0;
  }
  Options options;
  const std::string problem = ParseArguments(args, options);
  if (!problem.empty())
    return UsageError(problem);
  int status = 0;
  std::string error;
  if (!kv::RunReportingFailure(
          [&] {
            status = options.bench   ? Bench(options)
                     : options.check ? Check(options)
                                     : Write(options);
          },
          error)) {
    return Fail(error);
  }
  return status;
}
