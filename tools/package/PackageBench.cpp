#include "tools/package/PackageBench.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include "config/PackageParser.h"
#include "tools/package/OpenSslKey.h"

namespace kv::tool {
namespace {

using Clock = std::chrono::steady_clock;

// A sample repeats an operation until it takes about this long, so that the clock's resolution
// and the loop do not count for small packages.
constexpr double kSampleSeconds = 0.002;
constexpr int kMaxRepetitions = 10000;
constexpr double kBytesPerMegabyte = 1e6;

struct Operation {
  Operation(const char* operation_name, std::function<void()> operation)
      : name(operation_name), run(std::move(operation)) {}
  const char* name;
  std::function<void()> run;
  int repetitions = 1;
  std::vector<double> seconds;  // one time per run, from each round
};

double SecondsPerRun(const Operation& operation, int repetitions) {
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < repetitions; ++i)
    operation.run();
  return std::chrono::duration<double>(Clock::now() - start).count() / repetitions;
}

// The repetitions that make one sample last kSampleSeconds; the first run also warms up.
int SampleRepetitions(const Operation& operation) {
  const double once = SecondsPerRun(operation, 1);
  if (once * kMaxRepetitions <= kSampleSeconds)
    return kMaxRepetitions;
  return std::max(1, static_cast<int>(kSampleSeconds / once));
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void PrintLine(std::ostream& out, const char* name, double seconds, std::size_t size) {
  char line[128];
  std::snprintf(line, sizeof line, "%-34s %9.1f MB/s %10.3f ms", name,
                static_cast<double>(size) / kBytesPerMegabyte / seconds, seconds * 1000);
  out << line << "\n";
}

}  // namespace

bool RunPackageBench(const std::string& package, const std::string& public_key, int rounds,
                     std::ostream& out, std::string& error) {
  TKVConfigBinData data;
  std::string parse_error;
  ParseConfigPackageWithKey(package, data, parse_error, public_key);
  if (data.SignatureState != SignatureValid) {
    error = "the package's signature is not valid for this key; the benchmark needs one that is";
    return false;
  }
  std::string digest;
  if (!Sha512Digest(package, digest, error))
    return false;
  const std::string no_key;
  Operation operations[] = {
      {"parse alone", [&] { ParseConfigPackageWithKey(package, data, parse_error, no_key); }},
      {"parse and verify",
       [&] { ParseConfigPackageWithKey(package, data, parse_error, public_key); }},
      {"SHA-512 (as openssl dgst -sha512)", [&] { Sha512Digest(package, digest, error); }},
  };
  const Operation& parse_alone = operations[0];
  const Operation& sha512 = operations[2];
  for (Operation& operation : operations)
    operation.repetitions = SampleRepetitions(operation);
  std::vector<double> parse_to_sha;
  for (int round = 0; round < rounds; ++round) {
    for (Operation& operation : operations)
      operation.seconds.push_back(SecondsPerRun(operation, operation.repetitions));
    parse_to_sha.push_back(sha512.seconds.back() / parse_alone.seconds.back());
  }
  out << "package of " << package.size() << " bytes: medians of " << rounds
      << " rounds of paired timings, in the same process (MB = 10^6 bytes)\n";
  for (const Operation& operation : operations)
    PrintLine(out, operation.name, Median(operation.seconds), package.size());
  char line[128];
  std::snprintf(line, sizeof line,
                "parse alone / SHA-512 throughput: %.2f (median of the rounds' ratios)",
                Median(parse_to_sha));
  out << line << "\n";
  return true;
}

}  // namespace kv::tool
