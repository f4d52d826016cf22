// The MZ and PE headers of an executable image: the one reader of them, with named fields, for
// the checksum repair, the resource walk and the writer. Every offset read from the file is
// checked against the file before it is used.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
inline constexpr std::uint32_t kResourceDirectoryIndex = 2;
inline constexpr std::uint32_t kCertificateTableIndex = 4;

struct TPeHeaders {
  std::int64_t PeOffset = 0;  // e_lfanew: where "PE\0\0" stands
  std::uint16_t NumberOfSections = 0;
  std::uint16_t SizeOfOptionalHeader = 0;
  std::uint16_t OptionalMagic = 0;  // kPe32Magic or kPe32PlusMagic
  std::int64_t OptionalHeaderOffset = 0;
  std::int64_t CheckSumOffset = 0;  // file offset of the optional header's CheckSum field
  std::uint32_t CheckSum = 0;
  std::int64_t SectionTableOffset = 0;
};

enum class PeHeaderStatus {
  kFound,
  kNotPe,      // no "MZ", e_lfanew outside the file, no "PE\0\0" or another optional magic
  kTruncated,  // the file ends inside the DOS header or the 92-byte block at e_lfanew
};

// Reads the DOS header and the 92 bytes at e_lfanew. Throws StreamReadError on an I/O error.
PeHeaderStatus ReadPeHeaders(FileStream& file, TPeHeaders& headers);

// The RVA and size of one data directory entry; false when the optional header does not hold
// that entry. Throws StreamReadError on an I/O error.
bool ReadDataDirectoryEntry(FileStream& file, const TPeHeaders& headers, std::uint32_t index,
                            std::uint32_t& rva, std::uint32_t& size);

// The file offset of one data directory entry (its RVA field, then its 4-byte size); false when
// the optional header does not hold that entry.
bool DataDirectoryEntryOffset(const TPeHeaders& headers, std::uint32_t index, std::int64_t& offset);

// A range of a file's bytes.
struct ByteRange {
  std::int64_t offset = 0;
  std::int64_t size = 0;
};

enum class PeSignatureStatus {
  kSigned,
  kUnsigned,  // no certificate table
  // A table outside the file, not filled by its entries, of too many entries, or an entry no
  // signature.
  kMalformed,
};

// One WIN_CERTIFICATE entry of the certificate table: a PKCS#7 SignedData.
struct PeCertificateEntry {
  std::int64_t offset = 0;  // of the entry's 8-byte header
  std::string signature;    // the bytes after the header, up to the entry's length
  // Windows' stricter padding check: after the SignedData only zero bytes, fewer than 8, up
  // to the 8-byte boundary that ends the entry.
  bool strict_padding = false;
  // The bytes after the SignedData up to the entry's end (with its 8-byte padding, where the
  // table holds it); empty when the SignedData cannot be read.
  ByteRange padding;
};

// The Authenticode view of a signed executable: the ranges its digest covers (the whole file
// except the checksum field, the certificate table's directory entry and the table itself, which
// signing and configuring change) and every entry of the certificate table, at least one when
// signed. problem says why when malformed.
struct PeSignedLayout {
  std::vector<ByteRange> hashed;
  std::vector<PeCertificateEntry> entries;
  std::string problem;
};

// Throws StreamReadError on an I/O error.
PeSignatureStatus ReadPeSignedLayout(FileStream& file, const TPeHeaders& headers,
                                     PeSignedLayout& layout);

}  // namespace kv
