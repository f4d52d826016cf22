// The benchmark mode of kvpackage: the parse alone (no key, so the signature check is left out),
// the parse with the signature check, and SHA-512 of the same bytes, timed in turns round after
// round. Prints the medians in MB/s; false with an error text when the package does not verify.
#pragma once

#include <ostream>
#include <string>

namespace kv::tool {

bool RunPackageBench(const std::string& package, const std::string& public_key, int rounds,
                     std::ostream& out, std::string& error);

}  // namespace kv::tool
