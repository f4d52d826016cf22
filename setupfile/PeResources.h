// Reads one resource of a PE file straight from its resource directory, the same way on every
// platform: the first language of a named entry under a numeric type. Every offset, count and
// size read from the file is checked; a malformed directory is "not found", never a crash.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "setupfile/FileStream.h"

namespace kv {

inline constexpr std::uint16_t kResourceTypeRcData = 10;

// Finds the resource type/name (name matched ignoring ASCII case) and, when its size is exactly
// expected_size, returns its bytes. Throws StreamReadError on an I/O error.
bool FindPeResource(FileStream& file, std::uint16_t type, std::string_view name,
                    std::uint32_t expected_size, std::string& data);

}  // namespace kv
