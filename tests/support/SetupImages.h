// Synthetic setup files for tests: a minimal PE image with a configuration data area near its
// end, PE images with a resource directory built entry by entry, and small compound files.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kv::test {

// A minimal PE32+ image (valid MZ/PE headers, no sections) of at least 1024 bytes.
std::string MinimalPe(std::uint16_t optional_magic = 0x020B);

// prefix + marker + DER length of area_size + area bytes (filled with fill) + tail bytes.
std::string WithConfigArea(const std::string& prefix, std::uint32_t area_size, char fill = '\0',
                           const std::string& tail = "TAIL");

// prefix + marker + DER length + the area holding exactly content + tail bytes.
std::string WithAreaContent(const std::string& prefix, const std::string& content,
                            const std::string& tail = "TAIL");

// Offset of the area inside a file made by WithConfigArea.
std::size_t ConfigAreaOffset(const std::string& prefix, std::uint32_t area_size);

// A PE32+ image with one section holding a resource directory: type 10 (RCDATA) with one named
// entry and one language whose data is the given bytes.
std::string PeWithRcData(const std::string& resource_name, const std::string& data);

// Offsets inside an image from PeWithRcData, for corrupting it in tests.
struct RcDataLayout {
  std::size_t resource_base;   // file offset of the root resource directory
  std::size_t type_directory;  // relative offsets from the root
  std::size_t name_directory;  // its entries are the languages
  std::size_t name_string;
  std::size_t data_entry;
};
RcDataLayout PeWithRcDataLayout();

// A ContentInfo of SignedData whose certificate set holds count two-byte elements (NULL) and
// nothing else of substance: what a hostile signature made of tiny elements looks like.
std::string TinyElementSignedData(std::size_t count);

// A version 3 compound file (512-byte sectors) whose root storage holds the given streams in
// order, named by ASCII names stored as UTF-16; streams below 4096 bytes go into the mini stream.
// Sector 0 is the allocation table, sector 1 the directory (up to 3 streams).
std::string CompoundFileImage(const std::vector<std::pair<std::string, std::string>>& streams);

// A version 3 compound file whose root holds the given number of storages and as many empty
// streams: each storage names one stream of its own or, with shared_children, all of them name
// one tree of all the streams (which every reader that walks each storage walks n times).
// Holds 128 bytes per entry, up to about 27,000 storages.
std::string StorageTreeCompoundFile(std::uint32_t storages, bool shared_children);

// A version 3 compound file whose root holds the given number of one-byte streams, all in the
// first mini sector of a mini stream of the given size (up to about 6 MiB), whose table links
// each mini sector to no other.
std::string MiniStreamCompoundFile(std::uint32_t streams, std::uint32_t mini_stream_size);

// A blob list entry as the writer lays it out.
std::string BlobEntry(const std::string& name, const std::string& value);

}  // namespace kv::test
