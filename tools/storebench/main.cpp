// storebench: runs one store or one read-back of a configured setup file and reports how long
// the call took and the process's peak resident memory. Driven by bench/bench_store.sh.
//
//   storebench store SOURCE TARGET PACKAGE_FILE [ANSWER_FILE]
//   storebench read SETUP NAME [VALUE_FILE]
//   storebench sum FILE
//
// Prints "seconds=<call time> peak_rss_kib=<peak resident memory>" on success (read also writes
// the value found to VALUE_FILE when given; sum times the PE checksum's pass over the whole file);
// on failure the reason on standard error and exit code 1.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "setupfile/FileStream.h"
#include "setupfile/PeChecksum.h"
#include "setupfile/SetupReader.h"
#include "setupfile/SetupWriter.h"
#include "setupfile/ZNTUtils.h"

namespace {

constexpr std::int64_t kMaxInputSize = 1048576;

void Report(std::chrono::steady_clock::duration elapsed) {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("seconds=%.6f peak_rss_kib=%ld\n", std::chrono::duration<double>(elapsed).count(),
              usage.ru_maxrss);
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "storebench: %s\n", message.c_str());
  return 1;
}

int Store(const std::vector<std::string>& args) {
  std::string package;
  std::string answer;
  std::string error;
  if (!kv::LoadFileToString(args[2], kMaxInputSize, package, error))
    return Fail(error);
  if (args.size() == 4 && !kv::LoadFileToString(args[3], kMaxInputSize, answer, error))
    return Fail(error);
  const auto start = std::chrono::steady_clock::now();
  const bool ok = kv::StoreConfigToSetup(args[0], args[1], package, answer, error);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  if (!ok)
    return Fail(error);
  Report(elapsed);
  return 0;
}

int Read(const std::vector<std::string>& args) {
  std::string value;
  const auto start = std::chrono::steady_clock::now();
  const bool found = kv::ReadBlobFromSetup(args[0], args[1], value);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  if (!found)
    return Fail("\"" + args[1] + "\" not found in \"" + args[0] + "\"");
  if (args.size() == 3) {
    std::ofstream out(args[2], std::ios::binary | std::ios::trunc);
    out.write(value.data(), static_cast<std::streamsize>(value.size()));
    if (!out.flush())
      return Fail("cannot write \"" + args[2] + "\"");
  }
  Report(elapsed);
  return 0;
}

int Sum(const std::string& file_name) {
  const auto start = std::chrono::steady_clock::now();
  const std::unique_ptr<kv::FileStream> file = kv::Files().Open(file_name, kv::OpenMode::kRead);
  const kv::PeChecksumPair pair = kv::ComputePeChecksumPair(*file);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  std::fprintf(stderr, "checksum %08X\n", pair.computed);
  Report(elapsed);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 4 && args.size() <= 5 && args[0] == "store")
    return Store({args.begin() + 1, args.end()});
  if (args.size() >= 3 && args.size() <= 4 && args[0] == "read")
    return Read({args.begin() + 1, args.end()});
  if (args.size() == 2 && args[0] == "sum")
    return Sum(args[1]);
  std::fputs(
      "Usage: storebench store SOURCE TARGET PACKAGE_FILE [ANSWER_FILE]\n"
      "       storebench read SETUP NAME [VALUE_FILE]\n"
      "       storebench sum FILE\n",
      stderr);
  return 2;
}
