#include "setupfile/PeChecksum.h"

#include <string>
#include <string_view>
#include <vector>

#include "setupfile/ByteReader.h"

namespace kv {

namespace {

constexpr std::size_t kBlockSize = 65536;  // even, so 16-bit words never straddle two blocks
constexpr std::string_view kMzSignature("MZ", 2);
constexpr std::string_view kPeSignature("PE\0\0", 4);

std::uint32_t Fold(std::uint32_t sum) {
  return (sum & 0xFFFFu) + (sum >> 16);
}

// Reads up to count bytes at position; fewer at the end of the file.
std::string ReadAt(FileStream& file, std::int64_t position, std::int64_t count) {
  std::string bytes(static_cast<std::size_t>(count), '\0');
  file.Seek(position);
  bytes.resize(file.Read(bytes));
  return bytes;
}

// Position of the optional header's checksum field, or -1 without a valid MZ/PE header.
std::int64_t FindChecksumField(FileStream& file, std::int64_t size) {
  // DOS header: "MZ" ... e_lfanew at offset 60.
  const std::string dos = ReadAt(file, 0, kDosHeaderSize);
  ByteReader dos_reader(dos);
  std::string_view magic;
  std::int32_t pe_offset = 0;
  if (!dos_reader.ReadBytes(2, magic) || magic != kMzSignature ||
      !dos_reader.Seek(kDosPeOffsetField) || !dos_reader.ReadI32LE(pe_offset) || pe_offset < 0 ||
      pe_offset >= size) {
    return -1;
  }
  // PE signature, file header, start of the optional header.
  const std::string pe = ReadAt(file, pe_offset, kPeHeaderBlockSize);
  ByteReader pe_reader(pe);
  std::string_view signature;
  std::uint16_t optional_magic = 0;
  if (pe.size() != kPeHeaderBlockSize || !pe_reader.ReadBytes(4, signature) ||
      signature != kPeSignature || !pe_reader.Seek(kOptionalMagicOffset) ||
      !pe_reader.ReadU16LE(optional_magic) ||
      (optional_magic != kPe32Magic && optional_magic != kPe32PlusMagic)) {
    return -1;
  }
  return pe_offset + kPeChecksumOffset;
}

}  // namespace

PeChecksumPair ComputePeChecksumPair(FileStream& file) {
  PeChecksumPair pair;
  const std::int64_t size = file.Size();
  const std::int64_t field = FindChecksumField(file, size);
  if (field >= 0) {
    const std::string stored = ReadAt(file, field, 4);
    ByteReader reader(stored);
    reader.ReadU32LE(pair.stored);
  }
  std::vector<char> block(kBlockSize);
  std::uint32_t sum = 0;
  file.Seek(0);
  for (std::int64_t offset = 0; offset < size;) {
    const std::size_t n = file.Read(block);
    if (n == 0)
      break;
    // The checksum field counts as zero.
    for (std::int64_t i = field; field >= 0 && i < field + 4; ++i) {
      if (i >= offset && i < offset + static_cast<std::int64_t>(n))
        block[i - offset] = 0;
    }
    for (std::size_t i = 0; i < n; i += 2) {
      std::uint32_t word = static_cast<unsigned char>(block[i]);
      if (i + 1 < n)
        word |= static_cast<std::uint32_t>(static_cast<unsigned char>(block[i + 1])) << 8;
      sum = Fold(sum + word);
    }
    offset += static_cast<std::int64_t>(n);
  }
  pair.computed = Fold(sum) + static_cast<std::uint32_t>(size);
  return pair;
}

}  // namespace kv
