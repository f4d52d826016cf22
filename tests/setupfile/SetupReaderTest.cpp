#include "setupfile/SetupReader.h"

#include <gtest/gtest.h>

#include "base/ByteReader.h"
#include "setupfile/ZNTUtils.h"
#include "tests/support/SetupImages.h"
#include "tests/support/TestFiles.h"

namespace kv {
namespace {

using test::BlobEntry;

std::string Encoded(const std::string& plain, const std::string& mask) {
  std::string value = plain;
  AppendCrcHex(value);
  return ApplyMask(value, mask);
}

std::string End() {
  return BlobEntry("", "");
}

std::string NegativeLength() {
  std::string bytes;
  AppendU32LE(bytes, 0xFFFFFFF0u);
  return bytes;
}

TEST(ReadBlobFromSetupTest, ListWalkTable) {
  const std::string mask = "MASK-BYTES";
  std::string flipped = Encoded("bad", mask);
  flipped[0] ^= 1;
  struct Row {
    const char* name;
    std::string list;
    std::string wanted;
    bool found;
    std::string value;
  };
  const Row rows[] = {
      {"masked", BlobEntry("Mask", mask) + BlobEntry("KVConfig", Encoded("pkg", mask)) + End(),
       "KVConfig", true, "pkg"},
      {"any letter case",
       BlobEntry("mask", mask) + BlobEntry("KVCONFIG", Encoded("pkg", mask)) + End(), "kvconfig",
       true, "pkg"},
      {"no mask entry", BlobEntry("KVConfig", Encoded("plain", "")) + End(), "KVConfig", true,
       "plain"},
      {"skips other entries",
       BlobEntry("Other", "zzz") + BlobEntry("AutoInstall", Encoded("ans", "")) + End(),
       "AutoInstall", true, "ans"},
      {"not stored", BlobEntry("KVConfig", Encoded("p", "")) + End(), "AutoInstall", false, ""},
      {"flipped CRC, later valid entry ignored",
       BlobEntry("Mask", mask) + BlobEntry("KVConfig", flipped) +
           BlobEntry("KVConfig", Encoded("good", mask)) + End(),
       "KVConfig", false, ""},
      {"1 to 7 bytes", BlobEntry("KVConfig", "1234567") + End(), "KVConfig", false, ""},
      {"empty stored value", BlobEntry("KVConfig", "") + End(), "KVConfig", true, ""},
      {"second mask replaces the first",
       BlobEntry("Mask", "AAAA") + BlobEntry("Mask", "BB") +
           BlobEntry("KVConfig", Encoded("v", "BB")) + End(),
       "KVConfig", true, "v"},
      {"mask applies only after it",
       BlobEntry("KVConfig", Encoded("first", "")) + BlobEntry("Mask", mask) + End(), "KVConfig",
       true, "first"},
      {"end entry stops the walk", End() + BlobEntry("KVConfig", Encoded("late", "")), "KVConfig",
       false, ""},
      {"negative name length", NegativeLength() + BlobEntry("KVConfig", Encoded("x", "")),
       "KVConfig", false, ""},
      {"negative value length", BlobEntry("KVConfig", "").substr(0, 12) + NegativeLength(),
       "KVConfig", false, ""},
      {"length past the area", BlobEntry("KVConfig", Encoded("abc", "")).substr(0, 20), "KVConfig",
       false, ""},
      {"no end entry", BlobEntry("Other", "x"), "KVConfig", false, ""},
  };
  test::TempDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = dir.Path("setup.msi");
    // The list fills the area exactly, so a walk past its end cannot see the bytes after it.
    test::WriteFileBytes(path, test::WithAreaContent("prefix", row.list));
    std::string value = "unchanged";
    EXPECT_EQ(ReadBlobFromSetup(path, row.wanted, value), row.found);
    EXPECT_EQ(value, row.found ? row.value : "unchanged");
  }
  std::string value;
  EXPECT_FALSE(ReadBlobFromSetup(dir.Path("missing.exe"), "KVConfig", value));
  test::WriteFileBytes(dir.Path("plain.exe"), std::string(5000, 'x'));
  EXPECT_FALSE(ReadBlobFromSetup(dir.Path("plain.exe"), "KVConfig", value));
}

// A legacy list: 32-bit name length, name, 32-bit value length, value; plain bytes.
std::string LegacyEntry(const std::string& name, const std::string& value) {
  return BlobEntry(name, value);
}

std::string LegacyStore(const std::string& list, std::size_t size = 262144) {
  std::string store = list;
  store.resize(size, '\0');
  return store;
}

TEST(ReadLegacyBlobTest, ResourceListTable) {
  const std::string package = "Quillabrenthorst Configuration ver #2.00\r\nKVSERVERURL=x\r\n";
  std::string overrun = LegacyEntry("K-VConfig.bin", "");
  overrun.replace(overrun.size() - 4, 4, std::string("\x00\x00\x10\x00", 4));  // 1 MiB
  std::string at_end = LegacyStore("");
  const std::string last = LegacyEntry("K-VConfig.bin", "end");
  at_end.replace(at_end.size() - last.size(), last.size(), last);
  struct Row {
    const char* name;
    std::string resource_name;
    std::string data;
    std::string wanted;
    bool found;
    std::string value;
  };
  const Row rows[] = {
      {"found", "customfile",
       LegacyStore(LegacyEntry("Other", "o") + LegacyEntry("K-VConfig.bin", package)),
       "K-VConfig.bin", true, package},
      {"names in any case", "CUSTOMFILE", LegacyStore(LegacyEntry("k-vconfig.BIN", "v")),
       "K-VConfig.bin", true, "v"},
      {"empty value counts", "customfile", LegacyStore(LegacyEntry("K-VConfig.bin", "")),
       "K-VConfig.bin", true, ""},
      {"262143 bytes", "customfile", LegacyStore(LegacyEntry("K-VConfig.bin", "v"), 262143),
       "K-VConfig.bin", false, ""},
      {"262145 bytes", "customfile", LegacyStore(LegacyEntry("K-VConfig.bin", "v"), 262145),
       "K-VConfig.bin", false, ""},
      {"other resource name", "otherfile", LegacyStore(LegacyEntry("K-VConfig.bin", "v")),
       "K-VConfig.bin", false, ""},
      {"value longer than the rest", "customfile", LegacyStore(overrun), "K-VConfig.bin", false,
       ""},
      {"zero name length ends", "customfile",
       LegacyStore(std::string(8, '\0') + LegacyEntry("K-VConfig.bin", "v")), "K-VConfig.bin",
       false, ""},
      {"entry filling the last bytes", "customfile", at_end, "K-VConfig.bin", false, ""},
  };
  test::TempDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = dir.Path("legacy.exe");
    test::WriteFileBytes(path, test::PeWithRcData(row.resource_name, row.data));
    std::string value = "unchanged";
    EXPECT_EQ(ReadLegacyBlob(path, row.wanted, value), row.found);
    EXPECT_EQ(value, row.found ? row.value : "unchanged");
  }
  std::string value;
  EXPECT_FALSE(ReadLegacyBlob("", "K-VConfig.bin", value));
  EXPECT_FALSE(ReadLegacyBlob(dir.Path("missing.exe"), "K-VConfig.bin", value));
}

// Corrupts one 32-bit field of a valid legacy image and expects "not found" without a crash.
TEST(ReadLegacyBlobTest, HostileResourceDirectories) {
  const std::string good =
      test::PeWithRcData("customfile", LegacyStore(LegacyEntry("K-VConfig.bin", "v")));
  const test::RcDataLayout at = test::PeWithRcDataLayout();
  auto put = [](std::string data, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
      data[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return data;
  };
  const std::size_t base = at.resource_base;
  struct Row {
    const char* name;
    std::string data;
  };
  const Row rows[] = {
      {"type directory loops to the root", put(good, base + 20, 0x80000000u)},
      {"name directory points at itself",
       put(good, base + at.type_directory + 20,
           0x80000000u | static_cast<std::uint32_t>(at.type_directory))},
      {"language entry is a directory",
       put(good, base + at.name_directory + 20,
           0x80000000u | static_cast<std::uint32_t>(at.name_directory))},
      {"directory offset past the end", put(good, base + 20, 0x8FFFFFF0u)},
      {"huge entry counts", put(good, base + 12, 0xFFFFFFFFu)},
      {"name string past the end", put(good, base + at.type_directory + 16, 0xFFFFFFFFu)},
      {"data RVA past the section", put(good, base + at.data_entry, 0xFFFFFF00u)},
      {"resource RVA outside every section", put(good, 0x80 + 24 + 112 + 16, 0x9000)},
      {"section raw data past the file", put(good, 0x80 + 24 + 240 + 20, 0x7FFFFFF0u)},
      {"PE offset negative", put(good, 60, 0xFFFFFFF0u)},
      {"truncated file", good.substr(0, 0x410)},
  };
  test::TempDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = dir.Path("hostile.exe");
    test::WriteFileBytes(path, row.data);
    std::string value = "unchanged";
    EXPECT_FALSE(ReadLegacyBlob(path, "K-VConfig.bin", value));
    EXPECT_EQ(value, "unchanged");
  }
}

}  // namespace
}  // namespace kv
