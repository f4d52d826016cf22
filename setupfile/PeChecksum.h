// The checksum pair of a PE file: the value stored in the optional header and the standard
// image checksum of the whole file computed with that field taken as zero. The file is read in
// blocks, never held whole. Without a valid MZ/PE header nothing is skipped and stored is 0.
#pragma once

#include <cstdint>

#include "setupfile/FileStream.h"

namespace kv {

// Offsets inside a PE file's headers.
inline constexpr std::int64_t kDosHeaderSize = 64;
inline constexpr std::int64_t kDosPeOffsetField = 60;   // e_lfanew
inline constexpr std::int64_t kPeHeaderBlockSize = 92;  // signature + file header + 68 bytes
inline constexpr std::int64_t kOptionalMagicOffset = 24;
inline constexpr std::int64_t kPeChecksumOffset = 88;  // checksum field, from the PE signature
inline constexpr std::uint16_t kPe32Magic = 0x010B;
inline constexpr std::uint16_t kPe32PlusMagic = 0x020B;

struct PeChecksumPair {
  std::uint32_t stored = 0;
  std::uint32_t computed = 0;
};

// Computes the pair; throws StreamReadError when the file cannot be read.
PeChecksumPair ComputePeChecksumPair(FileStream& file);

}  // namespace kv
