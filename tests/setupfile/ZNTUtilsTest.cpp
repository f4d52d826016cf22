#include "setupfile/ZNTUtils.h"

#include <gtest/gtest.h>

#include "setupfile/CRC32.h"
#include "tests/support/FakeFileSystems.h"
#include "tests/support/TestFiles.h"

namespace kv {
namespace {

// Bytes that vary in every bit, from a fixed seed.
std::string PseudoRandomBytes(std::size_t count) {
  std::string bytes(count, '\0');
  std::uint32_t state = 12345;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 23);
  }
  return bytes;
}

// CRC-32 one bit at a time, straight from the polynomial.
std::uint32_t BitwiseCrc32(std::string_view data) {
  if (data.empty())
    return 0;
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char c : data) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 1u) != 0 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return ~crc;
}

TEST(Crc32Test, CheckValues) {
  EXPECT_EQ(ComputeCrc32(""), 0u);
  EXPECT_EQ(ComputeCrc32("123456789"), 0xCBF43926u);
  EXPECT_EQ(ComputeCrc32("abc"), 0x352441C2u);
  EXPECT_EQ(ComputeCrc32(std::string("\0", 1)), 0xD202EF8Du);
  EXPECT_EQ(CrcHexText(std::string("\0", 1)), "D202EF8D");
}

TEST(Crc32Test, MatchesTheBitwiseDefinitionAtEveryLengthAndAlignment) {
  const std::string bytes = PseudoRandomBytes(70000);
  const std::string_view all = bytes;
  for (std::size_t start = 0; start < 8; ++start) {
    for (std::size_t length = 0; length <= 40; ++length)
      EXPECT_EQ(ComputeCrc32(all.substr(start, length)), BitwiseCrc32(all.substr(start, length)))
          << start << "+" << length;
  }
  EXPECT_EQ(ComputeCrc32(all.substr(3)), BitwiseCrc32(all.substr(3)));
}

TEST(CrcTextTest, AppendAndStrip) {
  std::string abc = "abc";
  EXPECT_TRUE(AppendCrcHex(abc));
  EXPECT_EQ(abc, "abc352441C2");
  std::string empty;
  EXPECT_TRUE(AppendCrcHex(empty));
  EXPECT_EQ(empty, "");

  struct Row {
    std::string input;
    bool passes;
    std::string result;
  };
  const Row rows[] = {
      {"", true, ""},
      {"abc352441C2", true, "abc"},
      {"abc352441c2", true, "abc"},  // lower-case digits
      {"00000000", true, ""},        // CRC of no bytes is 0
      {"abd352441C2", false, "abd352441C2"},
      {"1234567", false, "1234567"},  // shorter than a CRC text
      {"a", false, "a"},
      {std::string("a\0b", 3) + CrcHexText(std::string("a\0b", 3)), true, std::string("a\0b", 3)},
  };
  for (const Row& row : rows) {
    std::string value = row.input;
    EXPECT_EQ(CheckAndStripCrcHex(value), row.passes) << row.input;
    EXPECT_EQ(value, row.result) << row.input;
  }
}

TEST(PrefixTest, Table) {
  struct Row {
    std::string prefix, text;
    bool exact, text_match;
  };
  const Row rows[] = {
      {"-cf:", "-CF:x", false, true},
      {"-cf:", "-cf:", true, true},
      {"TXT*", "txt*abc", false, true},
      {"TXT*", "TXT*abc", true, true},
      {"", "", true, true},
      {"", "anything", true, true},
      {"-src:", "-sr", false, false},
      {"ab", "ba", false, false},
      {"\xE9", "\xC9", false, false},  // only a to z fold
      {std::string("a\0", 2), std::string("a\0b", 3), true, true},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(HasPrefix(row.prefix, row.text), row.exact) << row.prefix << "|" << row.text;
    EXPECT_EQ(HasPrefixText(row.prefix, row.text), row.text_match) << row.prefix << "|" << row.text;
    EXPECT_EQ(HasPrefixEx(row.prefix, row.text, true), row.exact);
    EXPECT_EQ(HasPrefixEx(row.prefix, row.text, false), row.text_match);
  }
}

TEST(ExtractFileExtTest, FromTheLastDotOfTheFileName) {
  struct Row {
    const char* path;
    const char* ext;
  };
  const Row rows[] = {
      {"setup.exe", ".exe"},  {"C:\\dir\\SETUP.EXE", ".EXE"},
      {"a.b.msi", ".msi"},    {"dir.exe/setup", ""},
      {"dir.x\\name", ""},    {"noext", ""},
      {"trailing.", "."},     {"", ""},
      {"C:name.bin", ".bin"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(ExtractFileExt(row.path), row.ext) << row.path;
}

TEST(HexToBytesTest, StopsAtFirstNonDigit) {
  struct Row {
    std::string text, bytes;
  };
  const Row rows[] = {
      {"060c2b", "\x06\x0C\x2B"},
      {"06 0c\t2B", "\x06\x0C\x2B"},
      {"06 0", "\x06"},  // lone last digit
      {"0G", ""},
      {"", ""},
      {"   ", ""},
      {"ff 0 1", "\xFF"},  // a blank inside a pair stops
      {"0102zz03", "\x01\x02"},
      {std::string("01\0"
                   "02",
                   5),
       "\x01"},  // a zero byte is not skipped
      {"060C2B060104018399410201CE0F04",
       "\x06\x0C\x2B\x06\x01\x04\x01\x83\x99\x41\x02\x01\xCE\x0F\x04"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(HexToBytes(row.text), row.bytes) << row.text;
}

TEST(ApplyMaskTest, RoundTripAndEmptyMask) {
  const std::string input("abc\0def\xFF", 8);
  EXPECT_EQ(ApplyMask(input, ""), input);
  const std::string masked = ApplyMask(input, "XY");
  EXPECT_EQ(masked.size(), input.size());
  EXPECT_EQ(masked[0], 'a' ^ 'X');
  EXPECT_EQ(masked[1], 'b' ^ 'Y');
  EXPECT_EQ(masked[2], 'c' ^ 'X');
  EXPECT_EQ(ApplyMask(masked, "XY"), input);
  EXPECT_EQ(ApplyMask("", "XY"), "");
}

TEST(ApplyMaskTest, RepeatsTheMaskOverLongInputs) {
  const std::string input = PseudoRandomBytes(3000);
  const std::string long_mask = PseudoRandomBytes(600);
  for (const std::size_t mask_length : {1, 3, 10, 14, 255, 256, 257, 600}) {
    const std::string_view mask = std::string_view(long_mask).substr(0, mask_length);
    for (const std::size_t length : {0, 1, 255, 256, 257, 2570, 3000}) {
      const std::string_view data = std::string_view(input).substr(0, length);
      std::string expected(data);
      for (std::size_t i = 0; i < expected.size(); ++i)
        expected[i] = static_cast<char>(expected[i] ^ mask[i % mask.size()]);
      EXPECT_EQ(ApplyMask(data, mask), expected) << mask_length << " " << length;
      std::string in_place(data);
      ApplyMaskInPlace(in_place, mask);
      EXPECT_EQ(in_place, expected) << mask_length << " " << length;
    }
  }
}

TEST(MakeRandomStringTest, SequenceFromSeedZero) {
  RandomGenerator::Process().Reset();
  const std::string first = MakeRandomString(59, 117);
  EXPECT_EQ(first.size(), 59u);
  for (const char c : first) {
    EXPECT_GE(static_cast<unsigned char>(c), 0x20);
    EXPECT_LE(static_cast<unsigned char>(c), 0x5F);
  }
  const std::string second = MakeRandomString(59, 117);
  EXPECT_NE(first, second);
  EXPECT_GE(second.size(), 59u);
  EXPECT_LE(second.size(), 117u);

  RandomGenerator::Process().Reset();
  EXPECT_EQ(MakeRandomString(59, 117), first);  // same sequence every run

  // Equal bounds draw no length: the bytes then come from the first draws.
  RandomGenerator::Process().Reset();
  const std::string fixed = MakeRandomString(5, 5);
  RandomGenerator reference;
  ASSERT_EQ(fixed.size(), 5u);
  for (const char c : fixed)
    EXPECT_EQ(c, static_cast<char>(0x20 + reference.Below(64)));
  RandomGenerator::Process().Reset();
}

TEST(FormatByteSizeTest, Table) {
  struct Row {
    std::int64_t count;
    const char* text;
  };
  const Row rows[] = {
      {0, "0 B"},
      {1023, "1023 B"},
      {1024, "1 kB"},
      {1536, "1536 B"},
      {1048576, "1 MB"},
      {16384, "16 kB"},
      {10000, "10000 B"},
      {1073741824, "1 GB"},
      {std::int64_t{1} << 40, "1 TB"},
      {std::int64_t{1} << 50, "1024 TB"},
      {-1024, "-1024 B"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(FormatByteSize(row.count), row.text) << row.count;
}

TEST(LoadFileToStringTest, SizeLimitAndErrors) {
  test::TempDir dir;
  const std::int64_t limit = 1048576;
  struct Row {
    std::size_t size;
    bool ok;
    std::string error;
  };
  const Row rows[] = {
      {0, true, ""},
      {65535, true, ""},  // read through a buffer of 16,384 bytes
      {65536, true, ""},
      {65537, true, ""},
      {1048576, true, ""},
      {1048577, false, "File size is 1048577, but max allowed size is 1048576"},
  };
  for (const Row& row : rows) {
    const std::string path = dir.Path(std::to_string(row.size) + ".bin");
    std::string bytes = PseudoRandomBytes(row.size);
    if (!bytes.empty())
      bytes[0] = '\0';
    test::WriteFileBytes(path, bytes);
    std::string content = "stale";
    std::string error = "stale";
    EXPECT_EQ(LoadFileToString(path, limit, content, error), row.ok) << row.size;
    EXPECT_EQ(error, row.error);
    EXPECT_EQ(content, row.ok ? bytes : std::string());
  }

  std::string content = "stale";
  std::string error;
  EXPECT_FALSE(LoadFileToString(dir.Path("missing.bin"), limit, content, error));
  EXPECT_TRUE(content.empty());
  EXPECT_EQ(error.rfind("EXCEPTION EFOpenError (0) Cannot open file \"", 0), 0u) << error;
  EXPECT_NE(error.find("missing.bin"), std::string::npos);

  // A folder is not a file.
  EXPECT_FALSE(LoadFileToString(dir.Path(""), limit, content, error));
  EXPECT_EQ(error.rfind("EXCEPTION ", 0), 0u) << error;
}

TEST(LoadFileToStringTest, ReadErrorInALaterBlock) {
  test::TempDir dir;
  const std::string path = dir.Path("package.bin");
  test::WriteFileBytes(path, PseudoRandomBytes(200000));
  test::FaultyFileSystem files({.read_limit = 140000});
  ScopedFileSystem scope(files);
  std::string content = "stale";
  std::string error;
  EXPECT_FALSE(LoadFileToString(path, 1048576, content, error));
  EXPECT_EQ(content, "");
  EXPECT_EQ(error, "EXCEPTION EReadError (0) Stream read error");
}

TEST(LoadFileToStringTest, NonAsciiFileName) {
  test::TempDir dir;
  const std::string path =
      dir.Path("K-VConfig \xC5\xBElu\xC5\xA5ou\xC4\x8Dk\xC3\xBD \xE2\x82\xAC.bin");
  test::WriteFileBytes(path, "data");
  std::string content;
  std::string error;
  EXPECT_TRUE(LoadFileToString(path, 10, content, error)) << error;
  EXPECT_EQ(content, "data");
}

}  // namespace
}  // namespace kv
