// The compound file format (the container of .msi packages), read in this one place: the header,
// the sector allocation table with its extension (DIFAT), the directory and the mini stream with
// its own table. Every count, index and chain is checked against the file; a chain that runs in
// a circle or past its stream's size makes the file malformed, never a hang or a crash.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "setupfile/FileStream.h"

namespace kv {

inline constexpr std::string_view kCompoundFileSignature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

enum class CompoundEntryType : std::uint8_t { kUnused = 0, kStorage = 1, kStream = 2, kRoot = 5 };

struct CompoundEntry {
  std::string name;  // UTF-16LE bytes, without the terminating zero
  CompoundEntryType type = CompoundEntryType::kUnused;
  std::uint32_t left = 0;
  std::uint32_t right = 0;
  std::uint32_t child = 0;
  std::string class_id;  // 16 bytes
  std::uint32_t state_bits = 0;
  std::string times;  // creation and modification time, 8 bytes each
  std::uint32_t start_sector = 0;
  std::uint64_t size = 0;
};

class CompoundFile {
 public:
  // Reads the structure of the file. False with a reason when it is not a compound file or is
  // malformed. Throws StreamReadError on an I/O error, also later from ReadStream.
  bool Open(FileStream& file, std::string& error);

  // The directory; entry 0 is the root storage.
  const std::vector<CompoundEntry>& Entries() const { return entries_; }

  // The entries directly inside the storage (or root) at index, in the directory's tree order.
  bool Children(std::uint32_t storage, std::vector<std::uint32_t>& children,
                std::string& error) const;

  // Hands the content of the stream at index to sink in pieces of at most about 1 MiB, in order.
  // Streams that share sectors could make a small file hand out endless bytes: over the object's
  // life, at most twice the bytes the file and its mini stream hold are handed out.
  bool ReadStream(std::uint32_t index, const std::function<void(std::string_view)>& sink,
                  std::string& error);

 private:
  bool ReadSector(std::uint32_t sector, std::string& bytes);
  bool ReadRegularStream(std::uint32_t start, std::uint64_t size,
                         const std::function<void(std::string_view)>& sink, std::string& error);

  FileStream* file_ = nullptr;
  std::uint32_t sector_size_ = 0;
  std::uint32_t mini_cutoff_ = 0;
  std::uint64_t sector_count_ = 0;  // sectors the file holds after its header
  std::vector<std::uint32_t> fat_;
  std::vector<std::uint32_t> mini_fat_;
  std::vector<CompoundEntry> entries_;
  std::string mini_stream_;
  std::uint64_t budget_ = 0;
};

}  // namespace kv
