// The checksum pair of a PE file: the value stored in the optional header and the standard
// image checksum of the whole file computed with that field taken as zero. The file is read in
// blocks, never held whole. Without a valid MZ/PE header nothing is skipped and stored is 0.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

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

// The pieces of the computed checksum, for summing a file whose bytes are known in parts.
// File offset of the optional header's checksum field; -1 when file is no PE image (no "MZ", no
// "PE\0\0" or another optional-header magic). Throws StreamReadError.
std::int64_t FindPeChecksumField(FileStream& file);
// The sum of the 16-bit little-endian words that bytes, lying at file offset offset, contribute
// (a byte at an odd offset is the high half of its word); the 4 bytes at field count as zero.
std::uint64_t SumPeWords(std::string_view bytes, std::int64_t offset, std::int64_t field);
// SumPeWords over the whole file, read in blocks from its start. Stops and returns false as soon
// as cancel is set. Throws StreamReadError.
bool SumPeFile(FileStream& file, std::int64_t field, const std::atomic<bool>& cancel,
               std::uint64_t& sum);
// The checksum of a file of size bytes whose words add up to sum.
std::uint32_t FinishPeChecksum(std::uint64_t sum, std::int64_t size);

}  // namespace kv
