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
constexpr std::size_t kMiniSectorShiftOffset = 32;
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
// The only mini sector size and cutoff the format allows. A file that states others would be
// split into mini and regular streams differently by other readers, so it is refused.
constexpr std::uint16_t kMiniSectorShift = 6;
constexpr std::uint32_t kMiniSectorSize = 1u << kMiniSectorShift;
constexpr std::uint32_t kMiniCutoff = 4096;

// Directory entry fields.
constexpr std::size_t kDirectoryEntrySize = 128;
constexpr std::size_t kNameFieldSize = 64;
constexpr std::size_t kClassIdSize = 16;
constexpr std::size_t kTimesSize = 16;

// An installer package has a few hundred entries and a mini stream of some hundred KiB; these
// bounds keep the memory a hostile directory (8 MiB of entries) or mini stream (4 MiB of its
// table) can claim small.
constexpr std::uint64_t kMaxDirectoryEntries = 65536;
constexpr std::uint64_t kMaxMiniStreamSize = 64 * 1024 * 1024;

// Streams are handed on in pieces of about this size.
constexpr std::uint64_t kPieceSize = 1 << 20;

std::uint64_t SectorsFor(std::uint64_t bytes, std::uint32_t sector_size) {
  return bytes / sector_size + (bytes % sector_size != 0 ? 1 : 0);
}

// Follows a chain of the table from start, at most limit links, refusing circles and links
// outside the table. Calls visit for each link in order; visit may end the walk by returning
// false (then the result is true). seen has the table's size and is all false before and after:
// the marks are taken back link by link, so that a walk costs its own length, not the table's.
bool WalkChain(const std::vector<std::uint32_t>& table, std::vector<bool>& seen,
               std::uint32_t start, std::uint64_t limit,
               const std::function<bool(std::uint32_t)>& visit, std::string& error) {
  struct Marks {
    ~Marks() {
      for (std::uint32_t link = start; count != 0; --count, link = table[link])
        seen[link] = false;
    }
    const std::vector<std::uint32_t>& table;
    std::vector<bool>& seen;
    std::uint32_t start;
    std::uint64_t count;
  } marks{table, seen, start, 0};
  for (std::uint32_t link = start; link != kEndOfChain; link = table[link]) {
    if (link > kLastRegularSector || link >= table.size()) {
      error = "a sector chain points outside the file";
      return false;
    }
    if (seen[link] || marks.count == limit) {
      error = seen[link] ? "a sector chain runs in a circle" : "a sector chain is too long";
      return false;
    }
    seen[link] = true;
    ++marks.count;
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

bool IsStorage(const CompoundEntry& entry) {
  return entry.type == CompoundEntryType::kStorage || entry.type == CompoundEntryType::kRoot;
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

bool CompoundFile::ReadHeader(std::string& error) {
  const std::int64_t size = file_->Size();
  std::string header(kHeaderSize, '\0');
  file_->Seek(0);
  if (file_->Read(header) != kHeaderSize || header.substr(0, 8) != kCompoundFileSignature) {
    error = "not a compound file";
    return false;
  }
  ByteReader reader(header);
  std::uint16_t byte_order = 0, shift = 0, mini_shift = 0;
  std::uint32_t mini_cutoff = 0;
  reader.Seek(kMajorVersionOffset);
  reader.ReadU16LE(major_);
  reader.Seek(kByteOrderOffset);
  reader.ReadU16LE(byte_order);
  reader.Seek(kSectorShiftOffset);
  reader.ReadU16LE(shift);
  reader.Seek(kMiniSectorShiftOffset);
  reader.ReadU16LE(mini_shift);
  reader.Seek(kFatSectorCountOffset);
  reader.ReadU32LE(fat_sectors_);
  reader.Seek(kFirstDirectorySectorOffset);
  reader.ReadU32LE(first_directory_);
  reader.Seek(kMiniCutoffOffset);
  reader.ReadU32LE(mini_cutoff);
  reader.Seek(kFirstMiniFatSectorOffset);
  reader.ReadU32LE(first_mini_fat_);
  reader.Seek(kFirstDifatSectorOffset);
  reader.ReadU32LE(first_difat_);
  reader.Seek(kDifatSectorCountOffset);
  reader.ReadU32LE(difat_sectors_);
  header_fat_locations_.clear();
  reader.Seek(kHeaderDifatOffset);
  for (std::uint32_t i = 0; i < std::min(fat_sectors_, kHeaderDifatCount); ++i) {
    std::uint32_t location = 0;
    reader.ReadU32LE(location);
    header_fat_locations_.push_back(location);
  }
  if (byte_order != kLittleEndianMark ||
      !((major_ == kVersion3 && shift == kVersion3SectorShift) ||
        (major_ == kVersion4 && shift == kVersion4SectorShift))) {
    error = "the compound file header is malformed";
    return false;
  }
  if (mini_shift != kMiniSectorShift || mini_cutoff != kMiniCutoff) {
    error = "the compound file header states another mini sector size or mini stream cutoff";
    return false;
  }
  sector_size_ = 1u << shift;
  sector_count_ = size > sector_size_ ? SectorsFor(size - sector_size_, sector_size_) : 0;
  // The table needs 4 bytes per sector of the file; a sector more is slack.
  if (fat_sectors_ > SectorsFor(sector_count_ * 4, sector_size_) + 1 ||
      difat_sectors_ > sector_count_) {
    error = "the compound file claims more sectors than it holds";
    return false;
  }
  return true;
}

bool CompoundFile::ReadAllocationTable(std::string& error) {
  // The sectors of the allocation table: up to 109 named in the header, the rest in a chain of
  // DIFAT sectors, each ending with the number of the next.
  std::vector<std::uint32_t> fat_locations = std::move(header_fat_locations_);
  std::string sector;
  std::vector<bool> difat_seen(sector_count_);
  for (std::uint32_t next = first_difat_, i = 0;
       fat_locations.size() < fat_sectors_ && i < difat_sectors_; ++i) {
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
      if (fat_locations.size() < fat_sectors_)
        fat_locations.push_back(link);
    }
  }
  if (fat_locations.size() != fat_sectors_) {
    error = "the compound file's table of allocation sectors is incomplete";
    return false;
  }
  fat_.clear();
  fat_.reserve(static_cast<std::size_t>(fat_sectors_) * (sector_size_ / 4));
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
  fat_seen_.assign(fat_.size(), false);
  return true;
}

bool CompoundFile::ReadDirectory(std::string& error) {
  // The directory: 128-byte entries in a chain of sectors.
  std::vector<std::uint32_t> links;
  if (!WalkChain(
          fat_, fat_seen_, first_directory_,
          kMaxDirectoryEntries * kDirectoryEntrySize / sector_size_,
          [&](std::uint32_t link) {
            links.push_back(link);
            return true;
          },
          error)) {
    return false;
  }
  entries_.clear();
  entries_.reserve(links.size() * (sector_size_ / kDirectoryEntrySize));
  std::string sector;
  for (const std::uint32_t link : links) {
    ReadSector(link, sector);
    for (std::size_t at = 0; at + kDirectoryEntrySize <= sector.size(); at += kDirectoryEntrySize) {
      ByteReader entry(std::string_view(sector).substr(at, kDirectoryEntrySize));
      std::string_view name, class_id, times;
      std::uint16_t name_length = 0;
      std::uint8_t type = 0, color = 0;
      CompoundEntry& e = entries_.emplace_back();
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
      e.size = major_ == kVersion3 ? size_low : (std::uint64_t{size_high} << 32) | size_low;
      if (name_length >= 2 && name_length <= kNameFieldSize) {
        e.name_size = static_cast<std::uint8_t>(name_length - 2);
        std::copy_n(name.begin(), e.name_size, e.name_field.begin());
      }
      e.type = static_cast<CompoundEntryType>(type);
      std::copy(class_id.begin(), class_id.end(), e.class_id.begin());
      std::copy(times.begin(), times.end(), e.times.begin());
    }
  }
  if (entries_.empty() || entries_[0].type != CompoundEntryType::kRoot) {
    error = "the compound file has no root storage";
    return false;
  }
  return true;
}

bool CompoundFile::ReadTree(std::string& error) {
  // One walk from the root with one mark per entry: every entry is listed under one storage,
  // once, so the walk and everything that follows the lists is linear in the directory. An
  // entry reached twice (two storages naming one tree of children, or a tree that meets
  // itself) would be read twice by this reader and not at all by others: the file is refused.
  std::vector<bool> reached(entries_.size());
  reached[0] = true;
  child_ranges_.assign(entries_.size(), ChildRange{});
  children_.clear();
  std::vector<std::uint32_t> storages = {0};  // storages whose children are not listed yet
  std::vector<std::uint32_t> pending;         // the in-order walk's way back up
  while (!storages.empty()) {
    const std::uint32_t storage = storages.back();
    storages.pop_back();
    child_ranges_[storage].first = static_cast<std::uint32_t>(children_.size());
    std::uint32_t node = entries_[storage].child;
    while (node != kNoEntry || !pending.empty()) {
      for (; node != kNoEntry; node = entries_[node].left) {
        if (node >= entries_.size() || (entries_[node].type != CompoundEntryType::kStorage &&
                                        entries_[node].type != CompoundEntryType::kStream)) {
          error = "the compound file's directory tree is malformed";
          return false;
        }
        if (reached[node]) {
          error = "the compound file's directory reaches one entry twice";
          return false;
        }
        reached[node] = true;
        pending.push_back(node);
      }
      node = pending.back();
      pending.pop_back();
      children_.push_back(node);
      if (entries_[node].type == CompoundEntryType::kStorage)
        storages.push_back(node);
      node = entries_[node].right;
    }
    child_ranges_[storage].count =
        static_cast<std::uint32_t>(children_.size()) - child_ranges_[storage].first;
  }
  return true;
}

bool CompoundFile::ReadMiniStreamPlaces(std::string& error) {
  // The root's stream is the mini stream; its sectors are looked up, its bytes read when a
  // stream in it is read.
  mini_size_ = entries_[0].size;
  if (mini_size_ > kMaxMiniStreamSize) {
    error = "the compound file's mini stream is too large";
    return false;
  }
  const std::uint64_t needed = SectorsFor(mini_size_, sector_size_);
  mini_sectors_.clear();
  if (needed != 0 && !WalkChain(
                         fat_, fat_seen_, entries_[0].start_sector, needed,
                         [&](std::uint32_t link) {
                           mini_sectors_.push_back(link);
                           return mini_sectors_.size() < needed;
                         },
                         error)) {
    return false;
  }
  if (mini_sectors_.size() != needed) {
    error = "the compound file's mini stream is shorter than its size says";
    return false;
  }
  // Its table: one link per mini sector of the mini stream (which the file was just found to
  // hold); further entries could only lead outside it and are not kept.
  const std::uint64_t links = SectorsFor(mini_size_, kMiniSectorSize);
  mini_fat_.clear();
  mini_fat_.reserve(static_cast<std::size_t>(links));
  std::string sector;
  if (!WalkChain(
          fat_, fat_seen_, first_mini_fat_,
          SectorsFor(kMaxMiniStreamSize / kMiniSectorSize * 4, sector_size_),
          [&](std::uint32_t link) {
            if (mini_fat_.size() >= links)
              return false;
            ReadSector(link, sector);
            AppendTableEntries(sector, mini_fat_);
            return true;
          },
          error)) {
    return false;
  }
  if (mini_fat_.size() > links)
    mini_fat_.resize(static_cast<std::size_t>(links));
  mini_fat_seen_.assign(mini_fat_.size(), false);
  return true;
}

bool CompoundFile::Open(FileStream& file, std::string& error) {
  file_ = &file;
  if (!ReadHeader(error) || !ReadAllocationTable(error) || !ReadDirectory(error) ||
      !ReadTree(error) || !ReadMiniStreamPlaces(error)) {
    return false;
  }
  budget_ = 2 * (static_cast<std::uint64_t>(file.Size()) + mini_size_);
  return true;
}

std::span<const std::uint32_t> CompoundFile::Children(std::uint32_t storage) const {
  if (storage >= entries_.size() || !IsStorage(entries_[storage]))
    return {};
  const ChildRange range = child_ranges_[storage];
  return std::span<const std::uint32_t>(children_).subspan(range.first, range.count);
}

bool CompoundFile::ReadChain(const std::vector<std::uint32_t>& table, std::vector<bool>& seen,
                             std::uint32_t start, std::uint64_t size, std::uint32_t unit,
                             const std::function<std::int64_t(std::uint32_t, std::uint64_t)>& place,
                             const std::function<void(std::string_view)>& sink,
                             std::string& error) {
  const std::uint64_t needed = SectorsFor(size, unit);
  if (needed > table.size()) {
    error = "a stream is larger than its sector table allows";
    return false;
  }
  // Runs of bytes that follow each other in the file are read in one piece. Every byte of the
  // stream must be in the file: only the padding after its end may be missing from a short last
  // sector.
  std::string piece;
  std::int64_t run_offset = 0;
  std::uint64_t run_bytes = 0;
  std::uint64_t left = size;
  bool in_file = true;
  const auto flush = [&]() {
    piece.assign(static_cast<std::size_t>(run_bytes), '\0');
    file_->Seek(run_offset);
    in_file = file_->Read(piece) == piece.size();
    if (in_file)
      sink(piece);
    run_bytes = 0;
    return in_file;
  };
  std::uint64_t count = 0;
  bool inside = true;
  if (needed != 0 && !WalkChain(
                         table, seen, start, needed,
                         [&](std::uint32_t link) {
                           const std::uint64_t bytes = std::min<std::uint64_t>(unit, left);
                           const std::int64_t offset = place(link, bytes);
                           inside = offset >= 0;
                           if (!inside)
                             return false;
                           if (run_bytes != 0 &&
                               (static_cast<std::uint64_t>(offset - run_offset) != run_bytes ||
                                run_bytes >= kPieceSize) &&
                               !flush()) {
                             return false;
                           }
                           if (run_bytes == 0)
                             run_offset = offset;
                           run_bytes += bytes;
                           left -= bytes;
                           return ++count < needed;
                         },
                         error)) {
    return false;
  }
  if (inside && in_file && count == needed && (run_bytes == 0 || flush()))
    return true;
  error = !inside    ? "a stream lies outside the mini stream"
          : !in_file ? "a stream runs past the end of the file"
                     : "a stream's sector chain ends early";
  return false;
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
  if (entry.size >= kMiniCutoff) {
    return ReadChain(
        fat_, fat_seen_, entry.start_sector, entry.size, sector_size_,
        [&](std::uint32_t link, std::uint64_t) {
          return (static_cast<std::int64_t>(link) + 1) * sector_size_;
        },
        sink, error);
  }
  // Small streams live in 64-byte sectors of the mini stream, and every byte of them inside it:
  // a stream that runs past its end is refused, not filled up.
  return ReadChain(
      mini_fat_, mini_fat_seen_, entry.start_sector, entry.size, kMiniSectorSize,
      [&](std::uint32_t link, std::uint64_t bytes) -> std::int64_t {
        const std::uint64_t at = std::uint64_t{link} * kMiniSectorSize;
        if (at + bytes > mini_size_)
          return -1;
        const std::uint32_t sector = mini_sectors_[static_cast<std::size_t>(at / sector_size_)];
        return (static_cast<std::int64_t>(sector) + 1) * sector_size_ +
               static_cast<std::int64_t>(at % sector_size_);
      },
      sink, error);
}

}  // namespace kv
