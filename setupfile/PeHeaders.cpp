#include "setupfile/PeHeaders.h"

#include <string>
#include <string_view>

#include "base/ByteReader.h"

namespace kv {

namespace {

constexpr std::string_view kMzSignature("MZ", 2);
constexpr std::string_view kPeSignature("PE\0\0", 4);
// File header, after the signature.
constexpr std::int64_t kFileHeaderOffset = 4;
constexpr std::int64_t kFileHeaderSize = 20;
constexpr std::int64_t kNumberOfSectionsOffset = 2;
constexpr std::int64_t kSizeOfOptionalHeaderOffset = 16;
// Optional header: the data directory, after its entry count.
constexpr std::int64_t kPe32DataDirectoryOffset = 96;
constexpr std::int64_t kPe32PlusDataDirectoryOffset = 112;
constexpr std::int64_t kDataDirectoryEntrySize = 8;

// Reads up to count bytes at position; fewer at the end of the file.
std::string ReadAt(FileStream& file, std::int64_t position, std::int64_t count) {
  std::string bytes(static_cast<std::size_t>(count), '\0');
  file.Seek(position);
  bytes.resize(file.Read(bytes));
  return bytes;
}

}  // namespace

PeHeaderStatus ReadPeHeaders(FileStream& file, TPeHeaders& headers) {
  const std::int64_t size = file.Size();
  const std::string dos = ReadAt(file, 0, kDosHeaderSize);
  if (dos.size() != kDosHeaderSize)
    return PeHeaderStatus::kTruncated;
  ByteReader dos_reader(dos);
  std::string_view magic;
  std::int32_t pe_offset = 0;
  dos_reader.ReadBytes(2, magic);
  dos_reader.Seek(kDosPeOffsetField);
  dos_reader.ReadI32LE(pe_offset);
  if (magic != kMzSignature || pe_offset < 0 || pe_offset >= size)
    return PeHeaderStatus::kNotPe;

  const std::string block = ReadAt(file, pe_offset, kPeHeaderBlockSize);
  if (block.size() != kPeHeaderBlockSize)
    return PeHeaderStatus::kTruncated;
  ByteReader reader(block);
  std::string_view signature;
  TPeHeaders h;
  reader.ReadBytes(4, signature);
  reader.Seek(kFileHeaderOffset + kNumberOfSectionsOffset);
  reader.ReadU16LE(h.NumberOfSections);
  reader.Seek(kFileHeaderOffset + kSizeOfOptionalHeaderOffset);
  reader.ReadU16LE(h.SizeOfOptionalHeader);
  reader.Seek(kOptionalMagicOffset);
  reader.ReadU16LE(h.OptionalMagic);
  reader.Seek(kPeChecksumOffset);
  reader.ReadU32LE(h.CheckSum);
  if (signature != kPeSignature ||
      (h.OptionalMagic != kPe32Magic && h.OptionalMagic != kPe32PlusMagic)) {
    return PeHeaderStatus::kNotPe;
  }
  h.PeOffset = pe_offset;
  h.OptionalHeaderOffset = pe_offset + kFileHeaderOffset + kFileHeaderSize;
  h.CheckSumOffset = pe_offset + kPeChecksumOffset;
  h.SectionTableOffset = h.OptionalHeaderOffset + h.SizeOfOptionalHeader;
  headers = h;
  return PeHeaderStatus::kFound;
}

bool ReadDataDirectoryEntry(FileStream& file, const TPeHeaders& headers, std::uint32_t index,
                            std::uint32_t& rva, std::uint32_t& size) {
  const std::int64_t directory = headers.OptionalMagic == kPe32PlusMagic
                                     ? kPe32PlusDataDirectoryOffset
                                     : kPe32DataDirectoryOffset;
  const std::int64_t entry = directory + index * kDataDirectoryEntrySize;
  if (entry + kDataDirectoryEntrySize > headers.SizeOfOptionalHeader)
    return false;
  // The entry count stands right before the directory.
  const std::string optional =
      ReadAt(file, headers.OptionalHeaderOffset, entry + kDataDirectoryEntrySize);
  ByteReader reader(optional);
  std::uint32_t count = 0;
  return reader.Seek(directory - 4) && reader.ReadU32LE(count) && index < count &&
         reader.Seek(entry) && reader.ReadU32LE(rva) && reader.ReadU32LE(size);
}

}  // namespace kv
