// Shared entry of the fuzz targets: the input as a byte string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kv::fuzz {

inline std::string Bytes(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace kv::fuzz
