#include "tests/support/SetupImages.h"

#include <cstdio>

#include "base/ByteReader.h"
#include "setupfile/DerSignedData.h"
#include "setupfile/ExeSignatureBlobUtils.h"
#include "setupfile/ZNTUtils.h"

namespace kv::test {

namespace {

void PutU16(std::string& data, std::size_t offset, std::uint16_t value) {
  data[offset] = static_cast<char>(value & 0xFF);
  data[offset + 1] = static_cast<char>(value >> 8);
}

void PutU32(std::string& data, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    data[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string DerLength(std::uint32_t length) {
  if (length < 0x80)
    return std::string(1, static_cast<char>(length));
  std::string bytes;
  for (std::uint32_t v = length; v != 0; v >>= 8)
    bytes.insert(bytes.begin(), static_cast<char>(v & 0xFF));
  return static_cast<char>(0x80 | bytes.size()) + bytes;
}

constexpr std::size_t kPeOffset = 0x80;
constexpr std::size_t kOptionalOffset = kPeOffset + 24;
constexpr std::size_t kOptionalSize = 240;  // PE32+ with 16 data directories
constexpr std::size_t kSectionTable = kOptionalOffset + kOptionalSize;
constexpr std::size_t kRawPointer = 0x400;
constexpr std::uint32_t kSectionRva = 0x1000;

// Resource directory layout inside the section (relative offsets).
constexpr RcDataLayout kLayout{kRawPointer, 0x18, 0x30, 0x60, 0x80};
constexpr std::size_t kDataOffset = 0xA0;

}  // namespace

std::string MinimalPe(std::uint16_t optional_magic) {
  std::string data(1024, '\0');
  data[0] = 'M';
  data[1] = 'Z';
  PutU32(data, 60, kPeOffset);
  data.replace(kPeOffset, 4, std::string("PE\0\0", 4));
  PutU16(data, kPeOffset + 4, 0x8664);
  PutU16(data, kPeOffset + 24, optional_magic);
  for (std::size_t i = 600; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 7);
  return data;
}

std::string WithConfigArea(const std::string& prefix, std::uint32_t area_size, char fill,
                           const std::string& tail) {
  return WithAreaContent(prefix, std::string(area_size, fill), tail);
}

std::string WithAreaContent(const std::string& prefix, const std::string& content,
                            const std::string& tail) {
  return prefix + HexToBytes(kConfigAreaMarkerHex) +
         DerLength(static_cast<std::uint32_t>(content.size())) + content + tail;
}

std::size_t ConfigAreaOffset(const std::string& prefix, std::uint32_t area_size) {
  return prefix.size() + kConfigAreaMarkerLength + DerLength(area_size).size();
}

RcDataLayout PeWithRcDataLayout() {
  return kLayout;
}

std::string PeWithRcData(const std::string& resource_name, const std::string& data) {
  const std::size_t raw_size = kDataOffset + data.size();
  std::string image = MinimalPe(0x020B);
  image.resize(kRawPointer + raw_size, '\0');
  PutU16(image, kPeOffset + 6, 1);                            // NumberOfSections
  PutU16(image, kPeOffset + 20, kOptionalSize);               // SizeOfOptionalHeader
  PutU32(image, kOptionalOffset + 108, 16);                   // NumberOfRvaAndSizes
  PutU32(image, kOptionalOffset + 112 + 2 * 8, kSectionRva);  // resource directory RVA
  PutU32(image, kOptionalOffset + 112 + 2 * 8 + 4, static_cast<std::uint32_t>(raw_size));
  // Section header ".rsrc".
  image.replace(kSectionTable, 6, ".rsrc\0", 6);
  PutU32(image, kSectionTable + 8, static_cast<std::uint32_t>(raw_size));
  PutU32(image, kSectionTable + 12, kSectionRva);
  PutU32(image, kSectionTable + 16, static_cast<std::uint32_t>(raw_size));
  PutU32(image, kSectionTable + 20, kRawPointer);
  const std::size_t base = kRawPointer;
  // Root: one id entry, type 10.
  PutU16(image, base + 14, 1);
  PutU32(image, base + 16, 10);
  PutU32(image, base + 20, 0x80000000u | kLayout.type_directory);
  // Type directory: one named entry.
  PutU16(image, base + kLayout.type_directory + 12, 1);
  PutU32(image, base + kLayout.type_directory + 16, 0x80000000u | kLayout.name_string);
  PutU32(image, base + kLayout.type_directory + 20, 0x80000000u | kLayout.name_directory);
  // Name directory: one language, pointing at the data entry.
  PutU16(image, base + kLayout.name_directory + 14, 1);
  PutU32(image, base + kLayout.name_directory + 16, 0x409);
  PutU32(image, base + kLayout.name_directory + 20, kLayout.data_entry);
  // Name string: UTF-16LE with a length prefix (at most 15 characters fit here).
  PutU16(image, base + kLayout.name_string, static_cast<std::uint16_t>(resource_name.size()));
  for (std::size_t i = 0; i < resource_name.size() && i < 15; ++i) {
    PutU16(image, base + kLayout.name_string + 2 + 2 * i,
           static_cast<unsigned char>(resource_name[i]));
  }
  // Data entry: RVA and size.
  PutU32(image, base + kLayout.data_entry, kSectionRva + kDataOffset);
  PutU32(image, base + kLayout.data_entry + 4, static_cast<std::uint32_t>(data.size()));
  image.replace(base + kDataOffset, data.size(), data);
  return image;
}

std::string BlobEntry(const std::string& name, const std::string& value) {
  std::string entry;
  AppendU32LE(entry, static_cast<std::uint32_t>(name.size()));
  entry += name;
  AppendU32LE(entry, static_cast<std::uint32_t>(value.size()));
  entry += value;
  return entry;
}

namespace {

constexpr std::uint32_t kCfbSector = 512;
constexpr std::uint32_t kCfbMiniSector = 64;
constexpr std::uint32_t kCfbMiniCutoff = 4096;
constexpr std::uint32_t kCfbEnd = 0xFFFFFFFE;
constexpr std::uint32_t kCfbFree = 0xFFFFFFFF;
constexpr std::uint32_t kCfbFatSector = 0xFFFFFFFD;

// Appends whole sectors holding data to image and links them in table, from first on.
std::uint32_t AddChain(std::string& image, std::vector<std::uint32_t>& table, std::string data,
                       std::uint32_t sector_size, std::uint32_t first) {
  if (data.empty())
    return kCfbEnd;
  data.resize((data.size() + sector_size - 1) / sector_size * sector_size, '\0');
  const std::uint32_t count = static_cast<std::uint32_t>(data.size() / sector_size);
  for (std::uint32_t i = 0; i < count; ++i)
    table.push_back(i + 1 == count ? kCfbEnd : first + i + 1);
  image += data;
  return first;
}

std::string DirectoryEntry(const std::string& name, std::uint8_t type, std::uint32_t right,
                           std::uint32_t child, std::uint32_t start, std::uint32_t size) {
  std::string entry(128, '\0');
  for (std::size_t i = 0; i < name.size(); ++i)
    entry[2 * i] = name[i];
  entry[64] = static_cast<char>(2 * name.size() + 2);
  entry[66] = static_cast<char>(type);
  PutU32(entry, 68, kCfbFree);
  PutU32(entry, 72, right);
  PutU32(entry, 76, child);
  PutU32(entry, 116, start);
  PutU32(entry, 120, size);
  return entry;
}

// A version 3 header whose allocation table is sectors 0 to fat_sectors - 1.
std::string CompoundHeader(std::uint32_t fat_sectors, std::uint32_t first_directory,
                           std::uint32_t first_mini_table) {
  std::string header(kCfbSector, '\0');
  header.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
  header[24] = 0x3E;  // minor version
  header[26] = 3;     // major version
  header[28] = static_cast<char>(0xFE);
  header[29] = static_cast<char>(0xFF);
  header[30] = 9;  // sector shift
  header[32] = 6;  // mini sector shift
  PutU32(header, 44, fat_sectors);
  PutU32(header, 48, first_directory);
  PutU32(header, 56, kCfbMiniCutoff);
  PutU32(header, 60, first_mini_table);
  PutU32(header, 64, first_mini_table == kCfbEnd ? 0 : 1);
  PutU32(header, 68, kCfbEnd);
  for (std::size_t at = 76; at < kCfbSector; at += 4) {
    const std::uint32_t index = static_cast<std::uint32_t>((at - 76) / 4);
    PutU32(header, at, index < fat_sectors ? index : kCfbFree);
  }
  return header;
}

}  // namespace

std::string CompoundFileImage(const std::vector<std::pair<std::string, std::string>>& streams) {
  // Sectors after the header: the allocation table, the directory, the mini table, the mini
  // stream, then the big streams.
  std::string mini_stream;
  std::vector<std::uint32_t> mini_table;
  std::vector<std::uint32_t> starts;
  for (const auto& [name, content] : streams) {
    if (content.size() < kCfbMiniCutoff) {
      const std::uint32_t first = static_cast<std::uint32_t>(mini_table.size());
      starts.push_back(AddChain(mini_stream, mini_table, content, kCfbMiniSector, first));
    } else {
      starts.push_back(kCfbEnd);
    }
  }
  std::string sectors;
  std::vector<std::uint32_t> fat = {kCfbFatSector, kCfbEnd};
  sectors.assign(2 * kCfbSector, '\0');
  std::string mini_table_bytes;
  for (const std::uint32_t link : mini_table) {
    mini_table_bytes.resize(mini_table_bytes.size() + 4);
    PutU32(mini_table_bytes, mini_table_bytes.size() - 4, link);
  }
  const std::uint32_t mini_table_start =
      AddChain(sectors, fat, mini_table_bytes, kCfbSector, static_cast<std::uint32_t>(fat.size()));
  const std::uint32_t mini_stream_start =
      AddChain(sectors, fat, mini_stream, kCfbSector, static_cast<std::uint32_t>(fat.size()));
  std::string directory =
      DirectoryEntry("Root Entry", 5, kCfbFree, streams.empty() ? kCfbFree : 1, mini_stream_start,
                     static_cast<std::uint32_t>(mini_stream.size()));
  for (std::size_t i = 0; i < streams.size(); ++i) {
    const std::string& content = streams[i].second;
    if (content.size() >= kCfbMiniCutoff) {
      starts[i] =
          AddChain(sectors, fat, content, kCfbSector, static_cast<std::uint32_t>(fat.size()));
    }
    const std::uint32_t right =
        i + 1 < streams.size() ? static_cast<std::uint32_t>(i + 2) : kCfbFree;
    directory += DirectoryEntry(streams[i].first, 2, right, kCfbFree, starts[i],
                                static_cast<std::uint32_t>(content.size()));
  }
  directory.resize(kCfbSector, '\0');
  for (std::size_t at = 128 * (streams.size() + 1); at < kCfbSector; at += 128) {
    PutU32(directory, at + 68, kCfbFree);
    PutU32(directory, at + 72, kCfbFree);
    PutU32(directory, at + 76, kCfbFree);
  }
  sectors.replace(kCfbSector, kCfbSector, directory);
  fat.resize(kCfbSector / 4, kCfbFree);
  for (std::size_t i = 0; i < fat.size(); ++i)
    PutU32(sectors, 4 * i, fat[i]);

  const std::string header = CompoundHeader(1, 1, mini_table_start);
  return header + sectors;
}

namespace {

// A version 3 compound file of a directory, a mini table and a mini stream, each in a chain of
// sectors after the allocation table (up to 109 sectors of it).
std::string AssembleCompoundFile(const std::string& directory, const std::string& mini_table,
                                 const std::string& mini_stream) {
  const auto sectors = [](const std::string& bytes) {
    return static_cast<std::uint32_t>((bytes.size() + kCfbSector - 1) / kCfbSector);
  };
  const std::uint32_t data_sectors =
      sectors(directory) + sectors(mini_table) + sectors(mini_stream);
  const std::uint32_t fat_sectors = (data_sectors + 126) / 127;
  std::vector<std::uint32_t> fat(fat_sectors, kCfbFatSector);
  std::string body;
  std::uint32_t starts[3] = {kCfbEnd, kCfbEnd, kCfbEnd};
  int part = 0;
  for (const std::string* bytes : {&directory, &mini_table, &mini_stream}) {
    starts[part++] =
        AddChain(body, fat, *bytes, kCfbSector, static_cast<std::uint32_t>(fat.size()));
  }
  std::string table(std::size_t{fat_sectors} * kCfbSector, '\0');
  fat.resize(table.size() / 4, kCfbFree);
  for (std::size_t i = 0; i < fat.size(); ++i)
    PutU32(table, 4 * i, fat[i]);
  std::string header = CompoundHeader(fat_sectors, starts[0], starts[1]);
  PutU32(header, 64, sectors(mini_table));
  // The root's entry, first in the directory, names the mini stream.
  PutU32(body, 116, starts[2]);
  return header + table + body;
}

}  // namespace

std::string StorageTreeCompoundFile(std::uint32_t storages, bool shared_children) {
  const std::uint32_t n = storages;
  std::string directory =
      DirectoryEntry("Root Entry", 5, kCfbFree, n == 0 ? kCfbFree : 1, kCfbEnd, 0);
  char name[24];
  for (std::uint32_t i = 1; i <= n; ++i) {
    std::snprintf(name, sizeof name, "Storage%05u", i);
    directory += DirectoryEntry(name, 1, i < n ? i + 1 : kCfbFree, shared_children ? n + 1 : n + i,
                                kCfbEnd, 0);
  }
  for (std::uint32_t i = 1; i <= n; ++i) {
    std::snprintf(name, sizeof name, "Stream%06u", i);
    const std::uint32_t right = shared_children && i < n ? n + i + 1 : kCfbFree;
    directory += DirectoryEntry(name, 2, right, kCfbFree, kCfbEnd, 0);
  }
  return AssembleCompoundFile(directory, "", "");
}

std::string MiniStreamCompoundFile(std::uint32_t streams, std::uint32_t mini_stream_size) {
  std::string directory = DirectoryEntry("Root Entry", 5, kCfbFree, streams == 0 ? kCfbFree : 1,
                                         kCfbEnd, mini_stream_size);
  char name[24];
  for (std::uint32_t i = 1; i <= streams; ++i) {
    std::snprintf(name, sizeof name, "Stream%06u", i);
    directory += DirectoryEntry(name, 2, i < streams ? i + 1 : kCfbFree, kCfbFree, 0, 1);
  }
  std::string mini_table(4 * ((mini_stream_size + kCfbMiniSector - 1) / kCfbMiniSector), '\0');
  for (std::size_t at = 0; at < mini_table.size(); at += 4)
    PutU32(mini_table, at, kCfbEnd);
  return AssembleCompoundFile(directory, mini_table, std::string(mini_stream_size, 'm'));
}

std::string TinyElementSignedData(std::size_t count) {
  std::string tiny(2 * count, '\0');
  for (std::size_t i = 0; i < tiny.size(); i += 2)
    tiny[i] = '\x05';
  const std::string data_oid = "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x01";
  const std::string fields = EncodeDerElement(kTagInteger, "\x01") + EncodeDerElement(kTagSet, "") +
                             EncodeDerElement(kTagSequence, EncodeDerElement(kTagOid, data_oid)) +
                             EncodeDerElement(kTagContext0, tiny) + EncodeDerElement(kTagSet, "");
  return EncodeDerElement(
      kTagSequence, EncodeDerElement(kTagOid, "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02") +
                        EncodeDerElement(kTagContext0, EncodeDerElement(kTagSequence, fields)));
}

}  // namespace kv::test
