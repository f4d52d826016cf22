// Prepares a configurable setup file from a signed one: takes the Authenticode signature out of
// a setup .exe or .msi (osslsigncode), adds a certificate that carries a configuration data area
// of the requested size to its certificate set, and puts the signature back. The output either
// ends complete, with the area where readers search for it, or is not written at all.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

// Larger areas cannot lie in the file's last MiB, the only part readers search.
inline constexpr std::uint32_t kMaxReservedAreaSize = 1048576;

struct ReserveAreaRequest {
  std::string input_file;
  std::uint32_t area_size = 0;
  std::string output_file;
  std::string ca_file;  // trust anchors for the check after attaching; empty: the system's
};

// Reads a decimal area size of 1 to kMaxReservedAreaSize bytes; false with a reason otherwise.
bool ParseAreaSize(std::string_view text, std::uint32_t& size, std::string& error);

// Writes output_file; on success area_position is the area's offset in it. On failure error says
// why and output_file is left as it was.
bool ReserveConfigArea(const ReserveAreaRequest& request, std::int64_t& area_position,
                       std::string& error);

}  // namespace kv
