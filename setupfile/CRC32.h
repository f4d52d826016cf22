// CRC-32 of ISO-HDLC / IEEE 802.3 / zlib (reflected polynomial EDB88320h, initial and final
// XOR FFFFFFFFh), table driven. No bytes give 0.
#pragma once

#include <cstdint>
#include <string_view>

namespace kv {

std::uint32_t ComputeCrc32(std::string_view data);

}  // namespace kv
