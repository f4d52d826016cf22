#include "setupfile/PeResources.h"

#include <optional>
#include <vector>

#include "base/ByteReader.h"
#include "setupfile/PeHeaders.h"
#include "setupfile/ZNTUtils.h"

namespace kv {

namespace {

// Section header: VirtualSize +8, VirtualAddress +12, SizeOfRawData +16, PointerToRawData +20.
constexpr std::int64_t kSectionHeaderSize = 40;
// Resource directory: 16-byte header with the entry counts at +12 and +14, then 8-byte entries.
constexpr std::int64_t kResourceDirectorySize = 16;
constexpr std::int64_t kResourceEntrySize = 8;
constexpr std::uint32_t kHighBit = 0x80000000u;
// Resource data entry: data RVA, size, code page, reserved.
constexpr std::int64_t kResourceDataEntrySize = 16;

struct Section {
  std::uint32_t virtual_address = 0;
  std::uint32_t virtual_size = 0;
  std::uint32_t raw_size = 0;
  std::uint32_t raw_pointer = 0;
};

class PeImage {
 public:
  explicit PeImage(FileStream& file) : file_(file), size_(file.Size()) {}

  // Reads count bytes at offset, or nothing when they do not all lie inside the file.
  std::optional<std::string> ReadAt(std::int64_t offset, std::int64_t count) {
    if (offset < 0 || count < 0 || offset > size_ || count > size_ - offset)
      return std::nullopt;
    std::string bytes(static_cast<std::size_t>(count), '\0');
    file_.Seek(offset);
    if (file_.Read(bytes) != bytes.size())
      return std::nullopt;
    return bytes;
  }

  // Locates the resource directory: its RVA, and the section that holds it.
  bool LoadHeaders() {
    TPeHeaders headers;
    std::uint32_t resource_size = 0;
    if (ReadPeHeaders(file_, headers) != PeHeaderStatus::kFound ||
        !ReadDataDirectoryEntry(file_, headers, kResourceDirectoryIndex, resource_rva_,
                                resource_size) ||
        resource_rva_ == 0) {
      return false;
    }
    const auto table = ReadAt(headers.SectionTableOffset,
                              std::int64_t{headers.NumberOfSections} * kSectionHeaderSize);
    if (!table)
      return false;
    ByteReader table_reader(*table);
    for (std::uint16_t i = 0; i < headers.NumberOfSections; ++i) {
      Section s;
      if (!table_reader.Seek(i * kSectionHeaderSize + 8) ||
          !table_reader.ReadU32LE(s.virtual_size) || !table_reader.ReadU32LE(s.virtual_address) ||
          !table_reader.ReadU32LE(s.raw_size) || !table_reader.ReadU32LE(s.raw_pointer)) {
        return false;
      }
      sections_.push_back(s);
    }
    return FileOffsetOf(resource_rva_, 0, resource_base_, resource_end_);
  }

  // File offset of count bytes at rva, and the end of the section's raw data holding them.
  bool FileOffsetOf(std::uint32_t rva, std::int64_t count, std::int64_t& offset,
                    std::int64_t& section_end) const {
    for (const Section& s : sections_) {
      if (rva < s.virtual_address)
        continue;
      const std::int64_t delta = std::int64_t{rva} - s.virtual_address;
      if (delta >= s.raw_size || delta + count > s.raw_size)
        continue;
      offset = std::int64_t{s.raw_pointer} + delta;
      section_end = std::int64_t{s.raw_pointer} + s.raw_size;
      return true;
    }
    return false;
  }

  // Reads bytes at an offset relative to the resource directory, inside its section.
  std::optional<std::string> ReadResource(std::uint32_t relative, std::int64_t count) {
    const std::int64_t offset = resource_base_ + relative;
    if (count < 0 || offset + count > resource_end_)
      return std::nullopt;
    return ReadAt(offset, count);
  }

  // The entries of the directory at relative offset: (name or id, offset to data) pairs.
  bool ReadDirectory(std::uint32_t relative,
                     std::vector<std::pair<std::uint32_t, std::uint32_t>>& entries) {
    const auto header = ReadResource(relative, kResourceDirectorySize);
    if (!header)
      return false;
    ByteReader reader(*header);
    std::uint16_t named = 0;
    std::uint16_t ids = 0;
    reader.Seek(12);
    if (!reader.ReadU16LE(named) || !reader.ReadU16LE(ids))
      return false;
    const std::int64_t count = std::int64_t{named} + ids;
    const auto table = ReadResource(relative + kResourceDirectorySize, count * kResourceEntrySize);
    if (!table)
      return false;
    ByteReader table_reader(*table);
    entries.clear();
    for (std::int64_t i = 0; i < count; ++i) {
      std::uint32_t name = 0;
      std::uint32_t data = 0;
      table_reader.ReadU32LE(name);
      table_reader.ReadU32LE(data);
      entries.emplace_back(name, data);
    }
    return true;
  }

  // The UTF-16 name at relative offset, compared to an ASCII name ignoring ASCII case.
  bool NameEquals(std::uint32_t relative, std::string_view wanted) {
    const auto length_bytes = ReadResource(relative, 2);
    if (!length_bytes)
      return false;
    ByteReader length_reader(*length_bytes);
    std::uint16_t length = 0;
    length_reader.ReadU16LE(length);
    if (length != wanted.size())
      return false;
    const auto chars = ReadResource(relative + 2, std::int64_t{length} * 2);
    if (!chars)
      return false;
    ByteReader reader(*chars);
    for (const char w : wanted) {
      std::uint16_t c = 0;
      reader.ReadU16LE(c);
      if (c > 0x7F || AsciiUpper(static_cast<char>(c)) != AsciiUpper(w))
        return false;
    }
    return true;
  }

 private:
  FileStream& file_;
  std::int64_t size_;
  std::vector<Section> sections_;
  std::uint32_t resource_rva_ = 0;
  std::int64_t resource_base_ = 0;
  std::int64_t resource_end_ = 0;
};

using Entries = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

// The subdirectory offset of the entry whose id or name matches; the walk always descends
// exactly three levels (type, name, language), so a looping directory cannot hang it.
std::optional<std::uint32_t> FindSubdirectory(const Entries& entries, std::uint32_t id) {
  for (const auto& [name, data] : entries) {
    if ((name & kHighBit) == 0 && name == id && (data & kHighBit) != 0)
      return data & ~kHighBit;
  }
  return std::nullopt;
}

}  // namespace

bool FindPeResource(FileStream& file, std::uint16_t type, std::string_view name,
                    std::uint32_t expected_size, std::string& data) {
  PeImage image(file);
  if (!image.LoadHeaders())
    return false;
  Entries entries;
  if (!image.ReadDirectory(0, entries))
    return false;
  const auto type_directory = FindSubdirectory(entries, type);
  if (!type_directory || !image.ReadDirectory(*type_directory, entries))
    return false;
  std::optional<std::uint32_t> name_directory;
  for (const auto& [entry_name, entry_data] : entries) {
    if ((entry_name & kHighBit) != 0 && (entry_data & kHighBit) != 0 &&
        image.NameEquals(entry_name & ~kHighBit, name)) {
      name_directory = entry_data & ~kHighBit;
      break;
    }
  }
  if (!name_directory || !image.ReadDirectory(*name_directory, entries) || entries.empty()) {
    return false;
  }
  // Any language: the first one. Its entry must point at a data entry, not a directory.
  const std::uint32_t data_entry = entries.front().second;
  if ((data_entry & kHighBit) != 0)
    return false;
  const auto entry = image.ReadResource(data_entry, kResourceDataEntrySize);
  if (!entry)
    return false;
  ByteReader reader(*entry);
  std::uint32_t rva = 0;
  std::uint32_t size = 0;
  reader.ReadU32LE(rva);
  reader.ReadU32LE(size);
  if (size != expected_size)
    return false;
  std::int64_t offset = 0;
  std::int64_t section_end = 0;
  if (!image.FileOffsetOf(rva, size, offset, section_end))
    return false;
  const auto bytes = image.ReadAt(offset, size);
  if (!bytes)
    return false;
  data = *bytes;
  return true;
}

}  // namespace kv
