// Prepares a configurable setup file from a signed one: takes the Authenticode signature out of
// a setup .exe or .msi (osslsigncode), adds a certificate that carries a configuration data area
// of the requested size to its certificate set, and puts the signature back. It then checks what
// it changed: the file's digest still matches the signed one, the signature differs from the
// input's only by the added certificate, and the area is where readers search for it. The output
// either ends complete or is not written at all.
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
  std::string ca_file;  // trust anchors for a full chain check of the result; empty: none
};

struct ReserveAreaResult {
  std::int64_t area_position = 0;  // the area's offset in the output file
  std::string tool_log;            // what osslsigncode printed, command by command
};

// Reads a decimal area size of 1 to kMaxReservedAreaSize bytes; false with a reason otherwise.
bool ParseAreaSize(std::string_view text, std::uint32_t& size, std::string& error);

// Writes output_file. On failure error says why in one line and output_file is left as it was;
// result.tool_log is filled either way.
bool ReserveConfigArea(const ReserveAreaRequest& request, ReserveAreaResult& result,
                       std::string& error);

}  // namespace kv
