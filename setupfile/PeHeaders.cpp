#include "setupfile/PeHeaders.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "base/ByteReader.h"
#include "setupfile/DerSignedData.h"

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
// A certificate table entry: 32-bit length (header included), 16-bit revision and type.
constexpr std::int64_t kCertificateHeaderSize = 8;
constexpr std::uint16_t kCertificateRevision2 = 0x0200;
constexpr std::uint16_t kCertificateTypePkcsSignedData = 0x0002;
// A signature blob bigger than this is no signature this program reads.
constexpr std::uint32_t kMaxSignatureSize = 64 * 1024 * 1024;
// Signed files hold one entry, rarely two; a table of millions of empty entries is refused at
// this many, so that their list stays small.
constexpr std::size_t kMaxCertificateEntries = 32;

// Reads up to count bytes at position; fewer at the end of the file.
std::string ReadAt(FileStream& file, std::int64_t position, std::int64_t count) {
  std::string bytes(static_cast<std::size_t>(count), '\0');
  file.Seek(position);
  bytes.resize(file.Read(bytes));
  return bytes;
}

// Optional header: SizeOfHeaders; a section header: its 40 bytes, the raw data's size and place.
constexpr std::int64_t kSizeOfHeadersOffset = 60;
constexpr std::int64_t kSectionHeaderSize = 40;
constexpr std::size_t kRawSizeField = 16;
constexpr std::size_t kRawPointerField = 20;

// Whether [begin, end) shares a byte with the headers (up to SizeOfHeaders and the section
// table's end) or with the raw data of a section: bytes the loader maps into the image. The
// digest leaves the certificate table out, so a table placed there would let unsigned bytes run.
bool OverlapsImage(FileStream& file, const TPeHeaders& headers, std::int64_t begin,
                   std::int64_t end) {
  const std::int64_t sections_size = std::int64_t{headers.NumberOfSections} * kSectionHeaderSize;
  std::int64_t headers_end = headers.SectionTableOffset + sections_size;
  std::uint32_t size_of_headers = 0;
  const std::string optional = ReadAt(file, headers.OptionalHeaderOffset, kSizeOfHeadersOffset + 4);
  ByteReader optional_reader(optional);
  if (headers.SizeOfOptionalHeader >= kSizeOfHeadersOffset + 4 &&
      optional_reader.Seek(kSizeOfHeadersOffset) && optional_reader.ReadU32LE(size_of_headers)) {
    headers_end = std::max<std::int64_t>(headers_end, size_of_headers);
  }
  if (begin < headers_end)
    return true;
  const std::string table = ReadAt(file, headers.SectionTableOffset, sections_size);
  ByteReader reader(table);
  for (std::uint16_t i = 0; i < headers.NumberOfSections; ++i) {
    std::uint32_t raw_size = 0;
    std::uint32_t raw_pointer = 0;
    if (!reader.Seek(i * kSectionHeaderSize + kRawSizeField) || !reader.ReadU32LE(raw_size) ||
        !reader.Seek(i * kSectionHeaderSize + kRawPointerField) || !reader.ReadU32LE(raw_pointer)) {
      return true;  // a section table cut off by the end of the file: no image to trust
    }
    if (raw_size != 0 && begin < std::int64_t{raw_pointer} + raw_size && raw_pointer < end)
      return true;
  }
  return false;
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

bool DataDirectoryEntryOffset(const TPeHeaders& headers, std::uint32_t index,
                              std::int64_t& offset) {
  const std::int64_t directory = headers.OptionalMagic == kPe32PlusMagic
                                     ? kPe32PlusDataDirectoryOffset
                                     : kPe32DataDirectoryOffset;
  const std::int64_t entry = directory + index * kDataDirectoryEntrySize;
  if (entry + kDataDirectoryEntrySize > headers.SizeOfOptionalHeader)
    return false;
  offset = headers.OptionalHeaderOffset + entry;
  return true;
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

PeSignatureStatus ReadPeSignedLayout(FileStream& file, const TPeHeaders& headers,
                                     PeSignedLayout& layout) {
  std::uint32_t table = 0;
  std::uint32_t table_size = 0;
  std::int64_t entry = 0;
  if (!DataDirectoryEntryOffset(headers, kCertificateTableIndex, entry) ||
      !ReadDataDirectoryEntry(file, headers, kCertificateTableIndex, table, table_size) ||
      (table == 0 && table_size == 0)) {
    return PeSignatureStatus::kUnsigned;
  }
  // The table's "RVA" is a file offset; it must follow the headers and lie inside the file.
  const std::int64_t size = file.Size();
  const std::int64_t table_end = std::int64_t{table} + table_size;
  if (table < entry + kDataDirectoryEntrySize || table_size < kCertificateHeaderSize ||
      table_end > size) {
    layout.problem = "the certificate table lies outside the file";
    return PeSignatureStatus::kMalformed;
  }
  if (table_size > kMaxSignatureSize) {
    layout.problem = "the certificate table is too large";
    return PeSignatureStatus::kMalformed;
  }
  if (OverlapsImage(file, headers, table, table_end)) {
    layout.problem = "the certificate table lies inside the headers or a section of the image";
    return PeSignatureStatus::kMalformed;
  }
  // Entries follow each other at 8-byte boundaries and fill the table; the last one may end
  // without its padding. Each is read on its own, so that no entry is held twice.
  constexpr const char* kEndsInside = "the file ends inside the certificate table";
  for (std::int64_t at = 0; at < table_size;) {
    if (layout.entries.size() == kMaxCertificateEntries) {
      layout.problem = "the certificate table holds more than " +
                       std::to_string(kMaxCertificateEntries) + " entries";
      return PeSignatureStatus::kMalformed;
    }
    const std::string header = ReadAt(file, table + at, kCertificateHeaderSize);
    ByteReader reader(header);
    std::uint32_t length = 0;
    std::uint16_t revision = 0;
    std::uint16_t type = 0;
    if (!reader.ReadU32LE(length) || !reader.ReadU16LE(revision) || !reader.ReadU16LE(type) ||
        length < kCertificateHeaderSize || length > table_size - at) {
      layout.problem = "the certificate table is not filled by its entries";
      return PeSignatureStatus::kMalformed;
    }
    if (revision != kCertificateRevision2 || type != kCertificateTypePkcsSignedData) {
      layout.problem = "the certificate table holds an entry that is no Authenticode signature";
      return PeSignatureStatus::kMalformed;
    }
    const std::int64_t padded =
        std::min<std::int64_t>((std::int64_t{length} + 7) & ~7, std::int64_t{table_size} - at);
    PeCertificateEntry found;
    found.offset = table + at;
    found.signature =
        ReadAt(file, found.offset + kCertificateHeaderSize, length - kCertificateHeaderSize);
    const std::string tail = ReadAt(file, found.offset + length, padded - length);
    if (std::int64_t(found.signature.size()) != length - kCertificateHeaderSize ||
        std::int64_t(tail.size()) != padded - length) {
      layout.problem = kEndsInside;
      return PeSignatureStatus::kMalformed;
    }
    DerElement element;
    std::string error;
    if (ReadDerElement(found.signature, 0, element, error)) {
      const std::string padding = found.signature.substr(element.End()) + tail;
      found.strict_padding =
          padding.size() < 8 && padding.find_first_not_of('\0') == std::string::npos;
      found.padding = {found.offset + padded - std::int64_t(padding.size()),
                       std::int64_t(padding.size())};
    }
    layout.entries.push_back(std::move(found));
    at += padded;
  }
  const std::int64_t checksum_end = headers.CheckSumOffset + 4;
  const std::int64_t entry_end = entry + kDataDirectoryEntrySize;
  layout.hashed = {{0, headers.CheckSumOffset},
                   {checksum_end, entry - checksum_end},
                   {entry_end, table - entry_end},
                   {table_end, size - table_end}};
  return PeSignatureStatus::kSigned;
}

}  // namespace kv
