// reservearea: prepares a configurable setup file from a signed setup .exe or .msi by reserving
// a configuration data area of the given size inside its signature. See README.md.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tools/reservearea/ReserveArea.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "Usage: reservearea [--ca-file CAFILE] [--verbose] INPUT AREA_SIZE OUTPUT\n"
    "Writes OUTPUT: a copy of the signed setup file INPUT (.exe or .msi) whose signature holds a\n"
    "configuration data area of AREA_SIZE zero bytes (1 to 1048576). The signature stays valid:\n"
    "the result's digest must still match the signed one, and its signature must differ from\n"
    "the input's only by the certificate that holds the area.\n"
    "  --ca-file CAFILE  also verify the result's chain of trust (signer and time stamp)\n"
    "                    against the trust anchors (PEM) in CAFILE\n"
    "  --verbose         show what osslsigncode printed\n"
    "  --version         show the version\n"
    "Exit codes: 0 success, 1 failure, 2 wrong arguments.\n";

int Usage(const std::string& problem) {
  if (!problem.empty())
    std::fprintf(stderr, "reservearea: %s\n", problem.c_str());
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  kv::ReserveAreaRequest request;
  std::vector<std::string> positional;
  bool verbose = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
    if (args[i] == "--version") {
      std::fputs("reservearea " KV_PROGRAM_VERSION "\n", stdout);
      return kExitOk;
    }
    if (args[i] == "--verbose") {
      verbose = true;
      continue;
    }
    if (args[i] == "--ca-file") {
      if (i + 1 == args.size())
        return Usage("--ca-file needs a file name");
      request.ca_file = args[++i];
      continue;
    }
    positional.push_back(args[i]);
  }
  if (positional.size() != 3)
    return Usage("expected INPUT, AREA_SIZE and OUTPUT");

  std::string error;
  if (!kv::ParseAreaSize(positional[1], request.area_size, error))
    return Usage(error);
  request.input_file = positional[0];
  request.output_file = positional[2];
  kv::ReserveAreaResult result;
  const bool ok = kv::ReserveConfigArea(request, result, error);
  if (verbose)
    std::fwrite(result.tool_log.data(), 1, result.tool_log.size(), stderr);
  if (!ok) {
    std::fprintf(stderr, "reservearea: %s\n", error.c_str());
    return kExitFailure;
  }
  std::printf("Reserved a configuration data area of %u bytes at offset %lld in \"%s\"\n",
              request.area_size, static_cast<long long>(result.area_position),
              request.output_file.c_str());
  return kExitOk;
}
