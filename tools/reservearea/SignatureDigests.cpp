#include "tools/reservearea/SignatureDigests.h"

#include "setupfile/ZNTUtils.h"

namespace kv {

namespace {

constexpr std::string_view kCurrent = "Current ";
constexpr std::string_view kCalculated = "Calculated ";
constexpr std::string_view kSpaces = " \t\r";
// The digests a signature holds. The report's other "Current"/"Calculated" pairs, such as the
// PE checksum, are not part of the signature.
constexpr std::string_view kSignedDigests[] = {"message digest", "DigitalSignature",
                                               "MsiDigitalSignatureEx"};

bool IsSignedDigest(std::string_view name) {
  for (const std::string_view digest : kSignedDigests) {
    if (name == digest)
      return true;
  }
  return false;
}

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kSpaces);
  if (first == std::string_view::npos)
    return {};
  return text.substr(first, text.find_last_not_of(kSpaces) - first + 1);
}

// Splits "<prefix><name> : <hex> [remark]" into name and hex; false for any other line.
bool SplitDigestLine(std::string_view line, std::string_view prefix, std::string& name,
                     std::string& hex) {
  if (line.substr(0, prefix.size()) != prefix)
    return false;
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos)
    return false;
  name = Trim(line.substr(prefix.size(), colon - prefix.size()));
  const std::string_view value = Trim(line.substr(colon + 1));
  hex = value.substr(0, value.find_first_of(kSpaces));
  return !name.empty() && !hex.empty() &&
         hex.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
}

}  // namespace

std::vector<DigestPair> ReadDigestPairs(std::string_view report) {
  std::vector<DigestPair> pairs;
  std::size_t start = 0;
  while (start < report.size()) {
    std::size_t end = report.find('\n', start);
    if (end == std::string_view::npos)
      end = report.size();
    const std::string_view line = Trim(report.substr(start, end - start));
    start = end + 1;
    std::string name;
    std::string hex;
    if (SplitDigestLine(line, kCurrent, name, hex) && IsSignedDigest(name)) {
      pairs.push_back({name, hex, ""});
    } else if (SplitDigestLine(line, kCalculated, name, hex)) {
      // The computed value belongs to the latest pair of that name still without one.
      for (auto pair = pairs.rbegin(); pair != pairs.rend(); ++pair) {
        if (pair->name == name && pair->calculated.empty()) {
          pair->calculated = hex;
          break;
        }
      }
    }
  }
  return pairs;
}

bool DigestsMatch(const std::vector<DigestPair>& pairs, std::string& mismatch) {
  mismatch.clear();
  if (pairs.empty()) {
    mismatch = "no digest reported";
    return false;
  }
  for (const DigestPair& pair : pairs) {
    if (pair.calculated.empty() || !EqualsIgnoreAsciiCase(pair.current, pair.calculated)) {
      mismatch = pair.name;
      return false;
    }
  }
  return true;
}

}  // namespace kv
