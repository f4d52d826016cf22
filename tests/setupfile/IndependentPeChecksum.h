// The PE checksum pair of a file as an implementation outside this project computes it:
// python3-pefile on Linux, the system's MapFileAndCheckSumA on Windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv::test {

bool IndependentPeChecksum(const std::string& path, std::uint32_t& stored, std::uint32_t& computed);

// Real executables of this machine to check against.
std::vector<std::string> SamplePeFiles();

}  // namespace kv::test
