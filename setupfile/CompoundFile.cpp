#include "setupfile/CompoundFile.h"

#include <algorithm>

#include "base/ByteReader.h"

namespace kv {

namespace {

constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kLastRegularSector = 0xFFFFFFFA;
constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;

// Header fields.
constexpr std::size_t kHeaderSize = 512;
constexpr std::size_t kByteOrderOffset = 28;
constexpr std::uint16_t kLittleEndianMark = 0xFFFE;
constexpr std::size_t kMajorVersionOffset = 26;
constexpr std::size_t kSectorShiftOffset = 30;
constexpr std::size_t kFatSectorCountOffset = 44;
constexpr std::size_t kFirstDirectorySectorOffset = 48;
constexpr std::size_t kMiniCutoffOffset = 56;
constexpr std::size_t kFirstMiniFatSectorOffset = 60;
constexpr std::size_t kFirstDifatSectorOffset = 68;
constexpr std::size_t kDifatSectorCountOffset = 72;
constexpr std::size_t kHeaderDifatOffset = 76;
constexpr std::uint32_t kHeaderDifatCount = 109;
constexpr std::uint16_t kVersion3 = 3;
constexpr std::uint16_t kVersion4 = 4;
constexpr std::uint16_t kVersion3SectorShift = 9;
constexpr std::uint16_t kVersion4SectorShift = 12;
constexpr std::uint32_t kMiniSectorSize = 64;

// Directory entry fields.
constexpr std::size_t kDirectoryEntrySize = 128;
constexpr std::size_t kNameFieldSize = 64;
constexpr std::size_t kClassIdSize = 16;
constexpr std::size_t kTimesSize = 16;

// An installer package has a few hundred entries and a mini stream of some hundred KiB; these
// bounds keep the memory a hostile directory or mini stream can claim small.
constexpr std::uint64_t kMaxDirectoryEntries = 65536;
constexpr std::uint64_t kMaxMiniStreamSize = 64 * 1024 * 1024;

// Streams are handed on in pieces of about this size.
constexpr std::uint64_t kPieceSize = 1 << 20;

std::uint64_t SectorsFor(std::uint64_t bytes, std::uint32_t sector_size) {
  return bytes / sector_size + (bytes % sector_size != 0 ? 1 : 0);
}

// Follows a chain of the table from start, at most limit links, refusing circles and links
// outside the table. Calls visit for each link in order; visit may end the walk by returning
// false (then the result is true).
bool WalkChain(const std::vector<std::uint32_t>& table, std::uint32_t start, std::uint64_t limit,
               const std::function<bool(std::uint32_t)>& visit, std::string& error) {
  std::vector<bool> seen(table.size());
  std::uint64_t count = 0;
  for (std::uint32_t link = start; link != kEndOfChain; link = table[link]) {
    if (link > kLastRegularSector || link >= table.size()) {
      error = "a sector chain points outside the file";
      return false;
    }
    if (seen[link] || count == limit) {
      error = seen[link] ? "a sector chain runs in a circle" : "a sector chain is too long";
      return false;
    }
    seen[link] = true;
    ++count;
    if (!visit(link))
      return true;
  }
  return true;
}

void AppendTableEntries(std::string_view bytes, std::vector<std::uint32_t>& table) {
  ByteReader reader(bytes);
  std::uint32_t value = 0;
  while (reader.ReadU32LE(value))
    table.push_back(value);
}

}  // namespace

bool CompoundFile::ReadSector(std::uint32_t sector, std::string& bytes) {
  if (sector >= sector_count_)
    return false;
  bytes.assign(sector_size_, '\0');
  file_->Seek((static_cast<std::int64_t>(sector) + 1) * sector_size_);
  file_->Read(bytes);  // a short last sector reads as padded with zeros
  return true;
}

bool CompoundFile::Open(FileStream& file, std::string& error) {
  file_ = &file;
  const std::int64_t size = file.Size();
  std::string header(kHeaderSize, '\0');
  file.Seek(0);
  if (file.Read(header) != kHeaderSize || header.substr(0, 8) != kCompoundFileSignature) {
    error = "not a compound file";
    return false;
  }
  ByteReader reader(header);
  std::uint16_t byte_order = 0, major = 0, shift = 0;
  std::uint32_t fat_sectors = 0, first_directory = 0, first_mini_fat = 0, first_difat = 0,
                difat_sectors = 0;
  reader.Seek(kMajorVersionOffset);
  reader.ReadU16LE(major);
  reader.Seek(kByteOrderOffset);
  reader.ReadU16LE(byte_order);
  reader.Seek(kSectorShiftOffset);
  reader.ReadU16LE(shift);
  reader.Seek(kFatSectorCountOffset);
  reader.ReadU32LE(fat_sectors);
  reader.Seek(kFirstDirectorySectorOffset);
  reader.ReadU32LE(first_directory);
  reader.Seek(kMiniCutoffOffset);
  reader.ReadU32LE(mini_cutoff_);
  reader.Seek(kFirstMiniFatSectorOffset);
  reader.ReadU32LE(first_mini_fat);
  reader.Seek(kFirstDifatSectorOffset);
  reader.ReadU32LE(first_difat);
  reader.Seek(kDifatSectorCountOffset);
  reader.ReadU32LE(difat_sectors);
  if (byte_order != kLittleEndianMark || !((major == kVersion3 && shift == kVersion3SectorShift) ||
                                           (major == kVersion4 && shift == kVersion4SectorShift))) {
    error = "the compound file header is malformed";
    return false;
  }
  sector_size_ = 1u << shift;
  sector_count_ = size > sector_size_ ? SectorsFor(size - sector_size_, sector_size_) : 0;
  // The table needs 4 bytes per sector of the file; a sector more is slack.
  if (fat_sectors > SectorsFor(sector_count_ * 4, sector_size_) + 1 ||
      difat_sectors > sector_count_) {
    error = "the compound file claims more sectors than it holds";
    return false;
  }

  // The sectors of the allocation table: up to 109 named in the header, the rest in a chain of
  // DIFAT sectors, each ending with the number of the next.
  std::vector<std::uint32_t> fat_locations;
  reader.Seek(kHeaderDifatOffset);
  for (std::uint32_t i = 0; i < std::min(fat_sectors, kHeaderDifatCount); ++i) {
    std::uint32_t location = 0;
    reader.ReadU32LE(location);
    fat_locations.push_back(location);
  }
  std::vector<bool> difat_seen(sector_count_);
  std::string sector;
  for (std::uint32_t next = first_difat, i = 0;
       fat_locations.size() < fat_sectors && i < difat_sectors; ++i) {
    if (next >= sector_count_ || difat_seen[next]) {
      error = "the compound file's table of allocation sectors is malformed";
      return false;
    }
    difat_seen[next] = true;
    ReadSector(next, sector);
    std::vector<std::uint32_t> links;
    AppendTableEntries(sector, links);
    next = links.back();
    links.pop_back();
    for (const std::uint32_t link : links) {
      if (fat_locations.size() < fat_sectors)
        fat_locations.push_back(link);
    }
  }
  if (fat_locations.size() != fat_sectors) {
    error = "the compound file's table of allocation sectors is incomplete";
    return false;
  }
  fat_.clear();
  for (const std::uint32_t location : fat_locations) {
    if (!ReadSector(location, sector)) {
      error = "an allocation table sector lies outside the file";
      return false;
    }
    AppendTableEntries(sector, fat_);
  }
  // Links to sectors past the end of the file are never valid.
  if (fat_.size() > sector_count_)
    fat_.resize(static_cast<std::size_t>(sector_count_));

  // The directory: 128-byte entries in a chain of sectors.
  entries_.clear();
  const bool directory_read = WalkChain(
      fat_, first_directory, kMaxDirectoryEntries * kDirectoryEntrySize / sector_size_,
      [&](std::uint32_t link) {
        ReadSector(link, sector);
        for (std::size_t at = 0; at + kDirectoryEntrySize <= sector.size();
             at += kDirectoryEntrySize) {
          ByteReader entry(std::string_view(sector).substr(at, kDirectoryEntrySize));
          std::string_view name, class_id, times;
          std::uint16_t name_length = 0;
          std::uint8_t type = 0, color = 0;
          CompoundEntry e;
          entry.ReadBytes(kNameFieldSize, name);
          entry.ReadU16LE(name_length);
          entry.ReadU8(type);
          entry.ReadU8(color);
          entry.ReadU32LE(e.left);
          entry.ReadU32LE(e.right);
          entry.ReadU32LE(e.child);
          entry.ReadBytes(kClassIdSize, class_id);
          entry.ReadU32LE(e.state_bits);
          entry.ReadBytes(kTimesSize, times);
          entry.ReadU32LE(e.start_sector);
          std::uint32_t size_low = 0, size_high = 0;
          entry.ReadU32LE(size_low);
          entry.ReadU32LE(size_high);
          // Version 3 files may leave garbage in the high half of the size.
          e.size = major == kVersion3 ? size_low : (std::uint64_t{size_high} << 32) | size_low;
          if (name_length >= 2 && name_length <= kNameFieldSize)
            e.name = name.substr(0, name_length - 2);
          e.type = static_cast<CompoundEntryType>(type);
          e.class_id = class_id;
          e.times = times;
          entries_.push_back(std::move(e));
        }
        return true;
      },
      error);
  if (!directory_read)
    return false;
  if (entries_.empty() || entries_[0].type != CompoundEntryType::kRoot) {
    error = "the compound file has no root storage";
    return false;
  }
  // The root's stream is the mini stream.
  if (entries_[0].size > kMaxMiniStreamSize) {
    error = "the compound file's mini stream is too large";
    return false;
  }

  mini_fat_.clear();
  mini_stream_.clear();
  if (!WalkChain(
          fat_, first_mini_fat, SectorsFor(kMaxMiniStreamSize / kMiniSectorSize * 4, sector_size_),
          [&](std::uint32_t link) {
            ReadSector(link, sector);
            AppendTableEntries(sector, mini_fat_);
            return true;
          },
          error)) {
    return false;
  }
  if (!ReadRegularStream(
          entries_[0].start_sector, entries_[0].size,
          [&](std::string_view piece) { mini_stream_ += piece; }, error)) {
    return false;
  }
  budget_ = 2 * (static_cast<std::uint64_t>(size) + mini_stream_.size());
  return true;
}

bool CompoundFile::Children(std::uint32_t storage, std::vector<std::uint32_t>& children,
                            std::string& error) const {
  children.clear();
  if (storage >= entries_.size() || (entries_[storage].type != CompoundEntryType::kStorage &&
                                     entries_[storage].type != CompoundEntryType::kRoot)) {
    error = "a directory entry is not a storage";
    return false;
  }
  // In-order walk of the storage's tree of siblings.
  std::vector<bool> seen(entries_.size());
  std::vector<std::uint32_t> pending;
  std::uint32_t node = entries_[storage].child;
  while (node != kNoEntry || !pending.empty()) {
    for (; node != kNoEntry; node = entries_[node].left) {
      if (node >= entries_.size() || seen[node] ||
          (entries_[node].type != CompoundEntryType::kStorage &&
           entries_[node].type != CompoundEntryType::kStream)) {
        error = "the compound file's directory tree is malformed";
        return false;
      }
      seen[node] = true;
      pending.push_back(node);
    }
    node = pending.back();
    pending.pop_back();
    children.push_back(node);
    node = entries_[node].right;
  }
  return true;
}

bool CompoundFile::ReadRegularStream(std::uint32_t start, std::uint64_t size,
                                     const std::function<void(std::string_view)>& sink,
                                     std::string& error) {
  const std::uint64_t needed = SectorsFor(size, sector_size_);
  if (needed > sector_count_) {
    error = "a stream is larger than the file";
    return false;
  }
  // Runs of consecutive sectors are read in one piece.
  std::string piece;
  std::uint32_t run_start = 0;
  std::uint64_t run_length = 0;
  std::uint64_t left = size;
  const auto flush = [&]() {
    const std::uint64_t bytes = std::min<std::uint64_t>(run_length * sector_size_, left);
    piece.assign(static_cast<std::size_t>(bytes), '\0');
    file_->Seek((static_cast<std::int64_t>(run_start) + 1) * sector_size_);
    file_->Read(piece);  // a short last sector reads as padded with zeros
    sink(piece);
    left -= bytes;
    run_length = 0;
  };
  std::uint64_t count = 0;
  if (needed != 0 && !WalkChain(
                         fat_, start, needed,
                         [&](std::uint32_t link) {
                           if (run_length != 0 && (link != run_start + run_length ||
                                                   run_length * sector_size_ >= kPieceSize)) {
                             flush();
                           }
                           if (run_length == 0)
                             run_start = link;
                           ++run_length;
                           return ++count < needed;
                         },
                         error)) {
    return false;
  }
  if (count != needed) {
    error = "a stream's sector chain ends early";
    return false;
  }
  if (run_length != 0)
    flush();
  return true;
}

bool CompoundFile::ReadStream(std::uint32_t index,
                              const std::function<void(std::string_view)>& sink,
                              std::string& error) {
  if (index >= entries_.size() || entries_[index].type != CompoundEntryType::kStream) {
    error = "a directory entry is not a stream";
    return false;
  }
  const CompoundEntry& entry = entries_[index];
  if (entry.size > budget_) {
    error = "the compound file's streams share sectors";
    return false;
  }
  budget_ -= entry.size;
  if (entry.size >= mini_cutoff_)
    return ReadRegularStream(entry.start_sector, entry.size, sink, error);
  // Small streams live in 64-byte sectors of the mini stream.
  const std::uint64_t needed = SectorsFor(entry.size, kMiniSectorSize);
  std::string content;
  std::uint64_t count = 0;
  bool inside = true;
  if (needed != 0 && !WalkChain(
                         mini_fat_, entry.start_sector, needed,
                         [&](std::uint32_t link) {
                           const std::uint64_t at = std::uint64_t{link} * kMiniSectorSize;
                           inside = at < mini_stream_.size();
                           if (!inside)
                             return false;
                           content.append(mini_stream_, static_cast<std::size_t>(at),
                                          kMiniSectorSize);
                           return ++count < needed;
                         },
                         error)) {
    return false;
  }
  if (!inside || count != needed) {
    error = inside ? "a stream's sector chain ends early" : "a stream lies outside the mini stream";
    return false;
  }
  content.resize(static_cast<std::size_t>(entry.size));
  sink(content);
  return true;
}

}  // namespace kv
