// The digests that "osslsigncode verify" reports for a signed file: for each digest it names,
// the value the signature holds ("Current <name> : HEX") and the value it computed from the
// file ("Calculated <name> : HEX"). Only these lines of the report are read, and only for the
// digests a signature holds (the message digest and an MSI's two stream digests).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kv {

struct DigestPair {
  std::string name;  // "message digest", "DigitalSignature", "MsiDigitalSignatureEx"
  std::string current;
  std::string calculated;  // empty when the report has no computed value for it
};

// The pairs in the order the report names them; a "Calculated" line without a "Current" line
// before it (the MSI's own message digest) is not a pair.
std::vector<DigestPair> ReadDigestPairs(std::string_view report);

// True when there is at least one pair and every pair matches (hex compared without case).
// Otherwise false, with the name of the first digest that does not match in mismatch.
bool DigestsMatch(const std::vector<DigestPair>& pairs, std::string& mismatch);

}  // namespace kv
