#include <gtest/gtest.h>

#include "setupfile/ExeSignatureBlobUtils.h"
#include "setupfile/ZNTUtils.h"
#include "tests/support/TestFiles.h"

namespace kv {
namespace {

const std::string kMarker = HexToBytes(kConfigAreaMarkerHex);

// A file of size bytes (filler 'f') with the marker and a length field at offset.
std::string FileWithMarker(std::size_t size, std::size_t offset, const std::string& length) {
  std::string data(size, 'f');
  const std::string piece = kMarker + length;
  data.replace(offset, std::min(piece.size(), size - offset), piece.substr(0, size - offset));
  return data;
}

TEST(MarkerTest, IsTheDerOfThePrivateOidAndTheOctetStringTag) {
  ASSERT_EQ(kMarker.size(), kConfigAreaMarkerLength);
  EXPECT_EQ(kMarker, std::string("\x06\x0C\x2B\x06\x01\x04\x01\x83\x99\x41\x02\x01\xCE\x0F\x04"));
}

TEST(DecodeDerLengthTest, AcceptedAndRejectedForms) {
  struct Row {
    std::string bytes;
    bool ok;
    std::uint32_t length;
    int header;
  };
  const Row rows[] = {
      {std::string("\x00", 1), true, 0, 1},
      {"\x7F", true, 127, 1},
      {"\x81\x80", true, 128, 2},
      {std::string("\x82\x01\x00", 3), true, 256, 3},
      {std::string("\x84\x00\x01\x00\x00", 5), true, 65536, 5},
      {"\x84\xFF\xFF\xFF\xFF", true, 0xFFFFFFFFu, 5},
      {"", false, 0, 0},
      {"\x80", false, 0, 0},
      {"\x85\x01\x01\x01\x01\x01", false, 0, 0},
      {"\xFF\x01", false, 0, 0},
      {"\x82\x01", false, 0, 0},  // too few length bytes
      {"\x81", false, 0, 0},
  };
  for (const Row& row : rows) {
    std::uint32_t length = 77;
    int header = 77;
    EXPECT_EQ(DecodeDerLength(row.bytes, length, header), row.ok)
        << testing::PrintToString(row.bytes);
    if (row.ok) {
      EXPECT_EQ(length, row.length);
      EXPECT_EQ(header, row.header);
    }
  }
}

struct SearchResult {
  bool found = false;
  std::int64_t position = -1;
  std::string trailing;
};

SearchResult Search(const std::string& data, std::int64_t chunk, int bits, std::int64_t start,
                    const std::string& pattern, int trailing_count) {
  test::MemoryFileStream stream(data);
  SearchResult r;
  r.found = FindLastPatternInStream(stream, chunk, bits, start, pattern, trailing_count, r.position,
                                    r.trailing);
  return r;
}

TEST(FindLastPatternTest, EveryPositionOnceAcrossChunks) {
  // With chunk sizes around the pattern length, every placement straddles a boundary somewhere.
  const std::string pattern = "PATTERN";
  for (std::int64_t chunk : {1, 2, 3, 5, 7, 8, 64}) {
    for (std::size_t at = 0; at + pattern.size() + 2 <= 40; ++at) {
      std::string data(40, '.');
      data.replace(at, pattern.size(), pattern);
      data[at + pattern.size()] = 'x';
      data[at + pattern.size() + 1] = 'y';
      const SearchResult r = Search(data, chunk, 0, 0, pattern, 2);
      ASSERT_TRUE(r.found) << chunk << " " << at;
      EXPECT_EQ(r.position, static_cast<std::int64_t>(at));
      EXPECT_EQ(r.trailing, "xy");
    }
  }
}

TEST(FindLastPatternTest, LastMatchWinsAndTrailingMustFit) {
  std::string data = "ab--ab--ab";
  SearchResult r = Search(data, 3, 0, 0, "ab", 0);
  EXPECT_TRUE(r.found);
  EXPECT_EQ(r.position, 8);
  r = Search(data, 3, 0, 0, "ab", 1);  // the last "ab" has no byte after it
  EXPECT_TRUE(r.found);
  EXPECT_EQ(r.position, 4);
  EXPECT_EQ(r.trailing, "-");
  // Overlapping occurrences: each position is tested.
  r = Search("aaaa", 2, 0, 0, "aa", 0);
  EXPECT_EQ(r.position, 2);
}

TEST(FindLastPatternTest, ArgumentAndWindowRules) {
  const std::string data = "0123456789";
  EXPECT_FALSE(Search(data, 0, 0, 0, "1", 0).found);
  EXPECT_FALSE(Search(data, -5, 0, 0, "1", 0).found);
  EXPECT_FALSE(Search(data, 4, 0, 0, "", 0).found);
  EXPECT_FALSE(Search(data, 4, 0, 0, "1", -1).found);
  EXPECT_FALSE(Search(data, 4, 0, 0, "89", 1).found);  // window too short for the trailing byte
  EXPECT_FALSE(Search(data, 4, 0, 20, "1", 0).found);  // start past the end
  // Negative starts count from the end; before the start nothing is seen.
  EXPECT_FALSE(Search(data, 4, 0, -3, "1", 0).found);
  EXPECT_EQ(Search(data, 4, 0, -3, "8", 0).position, 8);
  EXPECT_EQ(Search(data, 4, 0, -100, "1", 0).position, 1);  // clamped to 0
  // Alignment: start 6 aligned down to 4 with 2 bits; 31 bits leave it unchanged.
  EXPECT_EQ(Search(data, 4, 2, 6, "5", 0).position, 5);
  EXPECT_FALSE(Search(data, 4, 31, 6, "5", 0).found);
  EXPECT_FALSE(Search(data, 4, 0, 6, "5", 0).found);
}

TEST(LocateConfigAreaTest, Table) {
  const std::size_t mib = 1048576;
  struct Row {
    const char* name;
    std::string data;
    bool ok;
    std::int64_t position;
    std::uint32_t length;
  };
  std::string two_markers = FileWithMarker(4000, 100, "\x10");
  two_markers.replace(2000, kMarker.size() + 1, kMarker + "\x20");
  // Large file: window starts at the 64 KiB boundary at or below size - 1 MiB.
  const std::size_t big = 3 * mib + 100000;  // size - 1 MiB = 2 MiB + 100000
  const std::size_t window_start = (big - mib) & ~std::size_t{0xFFFF};
  const Row rows[] = {
      {"short form", FileWithMarker(200, 10, "\x05"), true, 26, 5},
      {"long form", FileWithMarker(400, 10, "\x81\x80"), true, 27, 128},
      {"ends exactly at end", FileWithMarker(26 + 100, 10, "\x64"), true, 26, 100},
      {"one byte past end", FileWithMarker(26 + 99, 10, "\x64"), false, 0, 0},
      {"zero length", FileWithMarker(100, 10, std::string("\x00", 1)), true, 26, 0},
      {"length 80h", FileWithMarker(100, 10, "\x80"), false, 0, 0},
      {"length 85h", FileWithMarker(100, 10, "\x85\x00\x00\x00\x00\x01"), false, 0, 0},
      {"two markers: last wins", two_markers, true, 2016, 32},
      {"shorter than 23 bytes", kMarker + std::string(1, '\0'), false, 0, 0},
      {"marker 22 bytes before end", FileWithMarker(100, 78, std::string("\x00", 1)), false, 0, 0},
      {"marker 23 bytes before end", FileWithMarker(100, 77, std::string("\x00", 1)), true, 93, 0},
      {"big: at window start", FileWithMarker(big, window_start, "\x01"), true,
       static_cast<std::int64_t>(window_start + 16), 1},
      {"big: just before window", FileWithMarker(big, window_start - 1, "\x01"), false, 0, 0},
      {"big: straddles chunk", FileWithMarker(big, window_start + 262144 - 7, "\x01"), true,
       static_cast<std::int64_t>(window_start + 262144 - 7 + 16), 1},
  };
  for (const Row& row : rows) {
    test::MemoryFileStream stream(row.data);
    std::int64_t position = -1;
    std::uint32_t length = 0;
    EXPECT_EQ(LocateConfigArea(stream, position, length), row.ok) << row.name;
    if (!row.ok)
      continue;
    EXPECT_EQ(position, row.position) << row.name;
    EXPECT_EQ(length, row.length) << row.name;
  }
}

TEST(ReadConfigAreaTest, ReadsExactlyTheArea) {
  std::string data = FileWithMarker(300, 50, "\x04");
  data.replace(66, 4, "AREA");
  test::MemoryFileStream stream(data);
  std::string area = "stale";
  ASSERT_TRUE(ReadConfigArea(stream, area));
  EXPECT_EQ(area, "AREA");

  test::MemoryFileStream none(std::string(300, 'x'));
  EXPECT_FALSE(ReadConfigArea(none, area));
  EXPECT_TRUE(area.empty());
}

TEST(LocateConfigAreaTest, ReadsOnlyTheTailOfAHugeFile) {
  test::TempDir dir;
  const std::string path = dir.Path("huge.exe");
  const std::int64_t size = std::int64_t{400} * 1048576 + 12345;
  {
    auto file = PlatformFileSystem().Open(path, OpenMode::kCreate);
    file->SetSize(size);  // sparse where the file system allows it
    file->Seek(size - 5000);
    const std::string piece = kMarker + "\x82\x01\x00";
    file->Write(piece);
  }
  auto file = PlatformFileSystem().Open(path, OpenMode::kRead);
  test::CountingFileStream counting(*file);
  std::int64_t position = 0;
  std::uint32_t length = 0;
  ASSERT_TRUE(LocateConfigArea(counting, position, length));
  EXPECT_EQ(position, size - 5000 + 18);
  EXPECT_EQ(length, 256u);
  EXPECT_LE(counting.BytesRead(), 1048576 + 65535);
  EXPECT_LE(counting.LargestRead(), 262144u);
}

}  // namespace
}  // namespace kv
