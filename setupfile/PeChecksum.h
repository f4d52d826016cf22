// The checksum pair of a PE file: the value stored in the optional header and the standard
// image checksum of the whole file computed with that field taken as zero. The file is read in
// blocks, never held whole. Without a valid MZ/PE header nothing is skipped and stored is 0.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "setupfile/FileStream.h"
#include "setupfile/PeHeaders.h"

namespace kv {

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
// SumPeWords over count bytes of file from offset, read in blocks at their positions (the
// stream's position is kept). Throws StreamReadError when the file ends before.
std::uint64_t SumPeRange(FileStream& file, std::int64_t offset, std::int64_t count,
                         std::int64_t field);
// The checksum of a file of size bytes whose words add up to sum.
std::uint32_t FinishPeChecksum(std::uint64_t sum, std::int64_t size);

// Bytes of a file that a copy replaces: where they lie, what they were and what they become (as
// many new bytes as old ones).
struct PeChecksumChange {
  std::int64_t offset = 0;
  std::string_view old_bytes;
  std::string_view new_bytes;
};
// The checksum of a copy of a file of size bytes that differs from it only in changes (ranges
// that do not overlap), from source_sum, SumPeRange over the whole file with its checksum field
// at field: the same result as summing the whole copy, without reading it. Changes to the field
// itself count for nothing, as the field counts as zero. Summing the source once serves any
// number of copies.
std::uint32_t PeChecksumAfterChanges(std::uint64_t source_sum, std::int64_t size,
                                     std::int64_t field, std::span<const PeChecksumChange> changes);

}  // namespace kv
