#include "setupfile/PeChecksum.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/ByteReader.h"
#include "base/RuntimeError.h"

namespace kv {

namespace {

constexpr std::size_t kBlockSize = 65536;   // words summed between two foldings of the lanes
constexpr std::size_t kReadSize = 1048576;  // even, so 16-bit words never straddle two reads

// Ones' complement folding of a sum of 16-bit words: the carries are added back in.
std::uint32_t FoldTo16Bits(std::uint64_t sum) {
  while ((sum >> 16) != 0)
    sum = (sum & 0xFFFFu) + (sum >> 16);
  return static_cast<std::uint32_t>(sum);
}

// The sum of the 16-bit words of one whole block, on a little-endian machine: each 32-bit word
// adds its low half to one accumulator and its high half to another. The count of the loop is a
// constant, so compilers turn it into vector code at -O2 already; 16,384 additions of at most
// FFFFh cannot overflow 32 bits. Faster than 64-bit lanes with masks, which compilers leave
// scalar (bench/bench_store.sh reports the sum's speed).
std::uint64_t SumWholeBlock(const char* block) {
  std::uint32_t low = 0;
  std::uint32_t high = 0;
  for (std::size_t i = 0; i < kBlockSize; i += 4) {
    std::uint32_t words = 0;
    std::memcpy(&words, block + i, sizeof words);
    low += words & 0xFFFFu;
    high += words >> 16;
  }
  return std::uint64_t{low} + high;
}

// The sum of the little-endian 16-bit words of a block of at most kBlockSize bytes (an odd last
// byte is a word of its own).
std::uint64_t SumWords(std::span<const char> block) {
  if constexpr (std::endian::native == std::endian::little) {
    if (block.size() == kBlockSize)
      return SumWholeBlock(block.data());
  }
  std::uint64_t sum = 0;
  std::size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // Four words at a time into two accumulators of two 32-bit lanes each; 8,192 additions of at
    // most FFFFh (one 64 KiB block) cannot overflow a lane.
    constexpr std::uint64_t kEvenWords = 0x0000FFFF0000FFFFull;
    std::uint64_t even = 0;
    std::uint64_t odd = 0;
    for (; i + 8 <= block.size(); i += 8) {
      std::uint64_t words = 0;
      std::memcpy(&words, block.data() + i, sizeof words);
      even += words & kEvenWords;
      odd += (words >> 16) & kEvenWords;
    }
    sum = (even & 0xFFFFFFFFu) + (even >> 32) + (odd & 0xFFFFFFFFu) + (odd >> 32);
  }
  for (; i + 1 < block.size(); i += 2) {
    sum += static_cast<unsigned char>(block[i]) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(block[i + 1])) << 8);
  }
  if (i < block.size())
    sum += static_cast<unsigned char>(block[i]);
  return sum;
}

}  // namespace

std::int64_t FindPeChecksumField(FileStream& file) {
  TPeHeaders headers;
  return ReadPeHeaders(file, headers) == PeHeaderStatus::kFound ? headers.CheckSumOffset : -1;
}

std::uint64_t SumPeWords(std::string_view bytes, std::int64_t offset, std::int64_t field) {
  const std::int64_t end = offset + static_cast<std::int64_t>(bytes.size());
  std::string masked;
  if (field >= 0 && field < end && field + 4 > offset) {
    masked.assign(bytes);
    for (std::int64_t i = std::max(field, offset); i < std::min(field + 4, end); ++i)
      masked[static_cast<std::size_t>(i - offset)] = '\0';
    bytes = masked;
  }
  std::uint64_t sum = 0;
  if (offset % 2 != 0 && !bytes.empty()) {
    sum += std::uint64_t{static_cast<unsigned char>(bytes[0])} << 8;
    bytes.remove_prefix(1);
  }
  while (!bytes.empty()) {
    const std::size_t n = std::min(bytes.size(), kBlockSize);
    sum += SumWords(std::span<const char>(bytes.data(), n));
    bytes.remove_prefix(n);
  }
  return sum;
}

std::uint64_t SumPeRange(FileStream& file, std::int64_t offset, std::int64_t count,
                         std::int64_t field) {
  std::vector<char> block(static_cast<std::size_t>(std::min<std::int64_t>(count, kReadSize)));
  std::uint64_t sum = 0;  // folded to 16 bits once, at the end
  while (count > 0) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(count, kReadSize));
    const std::span<char> part = std::span<char>(block).first(want);
    if (file.ReadAt(offset, part) != want)
      throw StreamReadError();
    sum += SumPeWords(std::string_view(part.data(), want), offset, field);
    offset += static_cast<std::int64_t>(want);
    count -= static_cast<std::int64_t>(want);
  }
  return sum;
}

std::uint32_t FinishPeChecksum(std::uint64_t sum, std::int64_t size) {
  return FoldTo16Bits(sum) + static_cast<std::uint32_t>(size);
}

std::uint32_t PeChecksumAfterChanges(std::uint64_t source_sum, std::int64_t size,
                                     std::int64_t field,
                                     std::span<const PeChecksumChange> changes) {
  // The old words are part of source_sum: adding the new ones first keeps every step of the
  // unsigned sum at or above zero.
  std::uint64_t sum = source_sum;
  for (const PeChecksumChange& change : changes)
    sum += SumPeWords(change.new_bytes, change.offset, field);
  for (const PeChecksumChange& change : changes)
    sum -= SumPeWords(change.old_bytes, change.offset, field);
  return FinishPeChecksum(sum, size);
}

PeChecksumPair ComputePeChecksumPair(FileStream& file) {
  PeChecksumPair pair;
  TPeHeaders headers;
  std::int64_t field = -1;
  if (ReadPeHeaders(file, headers) == PeHeaderStatus::kFound) {
    field = headers.CheckSumOffset;
    pair.stored = headers.CheckSum;
  }
  const std::int64_t size = file.Size();
  pair.computed = FinishPeChecksum(SumPeRange(file, 0, size, field), size);
  return pair;
}

}  // namespace kv
