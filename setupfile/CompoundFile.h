// The compound file format (the container of .msi packages), read in this one place: the header,
// the sector allocation table with its extension (DIFAT), the directory and the mini stream with
// its own table. Every count, index and chain is checked against the file; a chain that runs in
// a circle or past its stream's size, or a directory entry reached twice, makes the file
// malformed, never a hang or a crash. Work is linear in the file's size, and memory beyond the
// allocation table and its marks (4 bytes and a bit per sector of the file) stays under 16 MiB.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "setupfile/FileStream.h"

namespace kv {

inline constexpr std::string_view kCompoundFileSignature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

enum class CompoundEntryType : std::uint8_t { kUnused = 0, kStorage = 1, kStream = 2, kRoot = 5 };

// One directory entry, held without allocations of its own.
struct CompoundEntry {
  // UTF-16LE bytes, without the terminating zero.
  std::string_view Name() const { return {name_field.data(), name_size}; }
  std::string_view ClassId() const { return {class_id.data(), class_id.size()}; }
  // Creation and modification time, 8 bytes each.
  std::string_view Times() const { return {times.data(), times.size()}; }

  std::array<char, 64> name_field{};
  std::uint8_t name_size = 0;
  CompoundEntryType type = CompoundEntryType::kUnused;
  std::uint32_t left = 0;
  std::uint32_t right = 0;
  std::uint32_t child = 0;
  std::array<char, 16> class_id{};
  std::uint32_t state_bits = 0;
  std::array<char, 16> times{};
  std::uint32_t start_sector = 0;
  std::uint64_t size = 0;
};

class CompoundFile {
 public:
  // Reads the structure of the file and walks its directory tree once. False with a reason when
  // it is not a compound file or is malformed. Throws StreamReadError on an I/O error, also
  // later from ReadStream.
  bool Open(FileStream& file, std::string& error);

  // The directory; entry 0 is the root storage.
  const std::vector<CompoundEntry>& Entries() const { return entries_; }

  // The entries directly inside the storage (or root) at index, in the directory's tree order;
  // empty for a stream or an entry outside the tree. Every entry is some storage's child once.
  std::span<const std::uint32_t> Children(std::uint32_t storage) const;

  // Hands the content of the stream at index to sink in pieces of at most about 1 MiB, in order.
  // Streams that share sectors could make a small file hand out endless bytes: over the object's
  // life, at most twice the bytes the file and its mini stream hold are handed out.
  bool ReadStream(std::uint32_t index, const std::function<void(std::string_view)>& sink,
                  std::string& error);

 private:
  struct ChildRange {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
  };

  bool ReadHeader(std::string& error);
  bool ReadAllocationTable(std::string& error);
  bool ReadDirectory(std::string& error);
  bool ReadTree(std::string& error);
  bool ReadMiniStreamPlaces(std::string& error);
  bool ReadSector(std::uint32_t sector, std::string& bytes);
  // Hands on size bytes of the chain from start in table, unit bytes per link, each link's bytes
  // at the file offset place gives (negative: the link lies outside its stream).
  bool ReadChain(const std::vector<std::uint32_t>& table, std::vector<bool>& seen,
                 std::uint32_t start, std::uint64_t size, std::uint32_t unit,
                 const std::function<std::int64_t(std::uint32_t, std::uint64_t)>& place,
                 const std::function<void(std::string_view)>& sink, std::string& error);

  FileStream* file_ = nullptr;
  std::uint16_t major_ = 0;
  std::uint32_t sector_size_ = 0;
  std::uint64_t sector_count_ = 0;  // sectors the file holds after its header
  std::uint32_t fat_sectors_ = 0;
  std::uint32_t first_directory_ = 0;
  std::uint32_t first_mini_fat_ = 0;
  std::uint32_t first_difat_ = 0;
  std::uint32_t difat_sectors_ = 0;
  std::vector<std::uint32_t> header_fat_locations_;  // the first 109 at most
  std::vector<std::uint32_t> fat_;
  std::vector<bool> fat_seen_;  // all false between walks of the table
  std::vector<std::uint32_t> mini_fat_;
  std::vector<bool> mini_fat_seen_;
  std::vector<CompoundEntry> entries_;
  std::vector<ChildRange> child_ranges_;     // one per entry
  std::vector<std::uint32_t> children_;      // each storage's children, one storage after another
  std::vector<std::uint32_t> mini_sectors_;  // the sectors of the mini stream, in order
  std::uint64_t mini_size_ = 0;
  std::uint64_t budget_ = 0;
};

}  // namespace kv
