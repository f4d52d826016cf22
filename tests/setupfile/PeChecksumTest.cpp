#include <gtest/gtest.h>

#include <filesystem>

#include "setupfile/ExeSignatureBlobUtils.h"
#include "setupfile/PeChecksum.h"
#include "tests/setupfile/IndependentPeChecksum.h"
#include "tests/support/SetupImages.h"
#include "tests/support/TestFiles.h"

namespace kv {
namespace {

PeChecksumPair OurPair(const std::string& path) {
  auto file = Files().Open(path, OpenMode::kRead);
  return ComputePeChecksumPair(*file);
}

TEST(PeChecksumTest, AgreesWithIndependentImplementationAfterRepair) {
  const std::vector<std::string> samples = test::SamplePeFiles();
  ASSERT_FALSE(samples.empty());
  test::TempDir dir;
  for (const std::string& sample : samples) {
    SCOPED_TRACE(sample);
    std::string bytes = test::ReadFileBytes(sample);
    ASSERT_GT(bytes.size(), 4096u);
    const std::string path = dir.Path("copy.exe");
    test::WriteFileBytes(path, bytes);

    std::uint32_t stored = 0;
    std::uint32_t computed = 0;
    ASSERT_TRUE(test::IndependentPeChecksum(path, stored, computed));
    EXPECT_EQ(OurPair(path).stored, stored);
    EXPECT_EQ(OurPair(path).computed, computed);

    // Change bytes inside the file, including an odd offset near the end, then repair.
    bytes[bytes.size() / 2] ^= 0x5A;
    bytes[bytes.size() - 3] ^= 0x01;
    test::WriteFileBytes(path, bytes);
    std::string error;
    ASSERT_TRUE(UpdatePeChecksum(path, nullptr, error)) << error;
    ASSERT_TRUE(test::IndependentPeChecksum(path, stored, computed));
    EXPECT_EQ(stored, computed);

    // Only the 4 checksum bytes changed.
    const std::string repaired = test::ReadFileBytes(path);
    ASSERT_EQ(repaired.size(), bytes.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i)
      differing += repaired[i] != bytes[i];
    EXPECT_LE(differing, 4u);

    // A file already right is not written to (read-only stream would throw on write).
    auto read_only = Files().Open(path, OpenMode::kRead);
    EXPECT_TRUE(UpdatePeChecksum(path, read_only.get(), error)) << error;
  }
}

TEST(PeChecksumTest, RejectsFilesThatAreNotPe) {
  test::TempDir dir;
  struct Row {
    const char* name;
    std::string data;
    bool ok;
    std::string error;
  };
  std::string no_mz = test::MinimalPe(kPe32Magic);
  no_mz[0] = 'X';
  std::string no_pe = test::MinimalPe(kPe32Magic);
  no_pe[0x81] = 'F';
  std::string pe_offset_past_end = test::MinimalPe(kPe32Magic);
  pe_offset_past_end[61] = 0x10;  // 0x1080 > size
  std::string short_header = test::MinimalPe(kPe32Magic);
  short_header[60] = static_cast<char>(0xF0);
  short_header[61] = 0x03;  // 0x3F0: fewer than 92 bytes follow
  const Row rows[] = {
      {"PE32", test::MinimalPe(kPe32Magic), true, ""},
      {"PE32+", test::MinimalPe(kPe32PlusMagic), true, ""},
      {"ROM magic", test::MinimalPe(0x0107), false, ""},
      {"no MZ", no_mz, false, ""},
      {"no PE", no_pe, false, ""},
      {"PE offset past end", pe_offset_past_end, false, ""},
      {"header block runs short", short_header, false, "Stream read error"},
      {"tiny", "MZ", false, "Stream read error"},
  };
  for (const Row& row : rows) {
    const std::string path = dir.Path("t.exe");
    test::WriteFileBytes(path, row.data);
    std::string error = "stale";
    EXPECT_EQ(UpdatePeChecksum(path, nullptr, error), row.ok) << row.name;
    EXPECT_EQ(error, row.error) << row.name;
    if (row.ok) {
      const PeChecksumPair pair = OurPair(path);
      EXPECT_EQ(pair.stored, pair.computed) << row.name;
      EXPECT_NE(pair.stored, 0u) << row.name;
    } else {
      EXPECT_EQ(test::ReadFileBytes(path), row.data) << row.name;
    }
  }
  std::string error;
  EXPECT_FALSE(UpdatePeChecksum(dir.Path("missing.exe"), nullptr, error));
  EXPECT_EQ(error.rfind("Cannot open file", 0), 0u) << error;
}

TEST(PeChecksumTest, WordSumsOfPiecesAddUpAtAnyOffsetAndCountTheFieldAsZero) {
  std::string bytes(301, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(i * 37 + 11);
  for (const std::int64_t field :
       {std::int64_t{-1}, std::int64_t{0}, std::int64_t{101}, std::int64_t{298}}) {
    std::string zeroed = bytes;
    for (std::int64_t i = field; field >= 0 && i < field + 4 && i < 301; ++i)
      zeroed[static_cast<std::size_t>(i)] = '\0';
    const std::uint64_t whole = SumPeWords(zeroed, 0, -1);
    EXPECT_EQ(SumPeWords(bytes, 0, field), whole) << field;
    // Split anywhere (odd offsets included), the pieces add up to the same sum.
    for (std::size_t at = 0; at <= bytes.size(); ++at) {
      const std::string_view view(bytes);
      EXPECT_EQ(SumPeWords(view.substr(0, at), 0, field) +
                    SumPeWords(view.substr(at), static_cast<std::int64_t>(at), field),
                whole)
          << field << " " << at;
    }
  }
}

// Every PE file at hand: the signed fixtures (vendor-signed setup files with and without a data
// area, time-stamped, SHA-1, broken, legacy) and real programs of this machine.
std::vector<std::string> AllPeFiles() {
  std::vector<std::string> files = test::SamplePeFiles();
  for (const auto& entry :
       std::filesystem::directory_iterator(test::Utf8ToPath(test::BinaryDir() + "/fixtures"))) {
    if (entry.path().extension() == ".exe")
      files.push_back(test::PathToUtf8(entry.path()));
  }
  return files;
}

TEST(PeChecksumTest, AfterChangesEqualsTheFullSumOfTheCopy) {
  const std::vector<std::string> files = AllPeFiles();
  ASSERT_GE(files.size(), 8u);
  test::TempDir dir;
  for (const std::string& name : files) {
    SCOPED_TRACE(name);
    const std::string source = test::ReadFileBytes(name);
    auto file = Files().Open(name, OpenMode::kRead);
    const std::int64_t field = FindPeChecksumField(*file);
    ASSERT_GE(field, 0);
    const auto size = static_cast<std::int64_t>(source.size());
    const std::uint64_t source_sum = SumPeRange(*file, 0, size, field);
    // The data area (or, without one, the same length near the end) at an odd and an even
    // offset, and the checksum field, get new bytes.
    std::int64_t area = size - 4099;
    std::uint32_t area_length = 4001;
    std::int64_t found_area = 0;
    std::uint32_t found_length = 0;
    file->Seek(0);
    if (LocateConfigArea(*file, found_area, found_length))
      area = found_area, area_length = found_length;
    for (const std::int64_t shift : {std::int64_t{0}, std::int64_t{1}}) {
      const std::int64_t at = std::min<std::int64_t>(area + shift, size - 4001);
      const auto length = static_cast<std::size_t>(std::min<std::uint32_t>(area_length, 4001));
      std::string copy = source;
      std::string list(length, '\0');
      for (std::size_t i = 0; i < length; ++i)
        list[i] = static_cast<char>(i * 131 + 7 + shift);
      const std::string field_bytes = "\xDE\xAD\xBE\xEF";
      const PeChecksumChange changes[] = {
          {at, std::string_view(source).substr(static_cast<std::size_t>(at), length), list},
          {field, std::string_view(source).substr(static_cast<std::size_t>(field), 4),
           field_bytes}};
      copy.replace(static_cast<std::size_t>(at), length, list);
      copy.replace(static_cast<std::size_t>(field), 4, field_bytes);
      const std::string path = dir.Path("copy.exe");
      test::WriteFileBytes(path, copy);
      EXPECT_EQ(PeChecksumAfterChanges(source_sum, size, field, changes), OurPair(path).computed)
          << shift;
    }
  }
}

}  // namespace
}  // namespace kv
