// Configures the real signed fixtures (made by tests/fixtures) and reads them back. The
// configured copies are left in <build>/configured/ for the signature check that follows.
#include <gtest/gtest.h>

#include <filesystem>

#include "setupfile/ExeSignatureBlobUtils.h"
#include "setupfile/PeChecksum.h"
#include "setupfile/SetupReader.h"
#include "setupfile/SetupWriter.h"
#include "tests/support/TestFiles.h"

namespace kv {
namespace {

std::string Fixture(const std::string& name) {
  return test::BinaryDir() + "/fixtures/" + name;
}

std::string ConfiguredCopy(const std::string& name) {
  std::filesystem::create_directories(test::Utf8ToPath(test::BinaryDir() + "/configured"));
  return test::BinaryDir() + "/configured/" + name;
}

std::string Patterned(std::size_t size, int seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>((i * 31 + seed) % 251);
  return bytes;
}

TEST(FixtureRoundTripTest, ConfiguredCopiesKeepEveryOtherByte) {
  struct Row {
    const char* source;
    std::size_t package_size;
    std::size_t answer_size;
    bool executable;
  };
  const Row rows[] = {
      {"setup.exe", 3000, 1000, true},
      {"setup.msi", 3000, 1000, false},
      {"setup-large.exe", 900000, 90000, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source);
    const std::string source = Fixture(row.source);
    const std::string target = ConfiguredCopy(row.source);
    const std::string package = Patterned(row.package_size, 1);
    const std::string answer = Patterned(row.answer_size, 2);
    std::string error;
    ASSERT_TRUE(StoreConfigToSetup(source, target, package, answer, error)) << error;

    std::string value;
    EXPECT_TRUE(ReadBlobFromSetup(target, "KVConfig", value));
    EXPECT_EQ(value, package);
    EXPECT_TRUE(ReadBlobFromSetup(target, "AutoInstall", value));
    EXPECT_EQ(value, answer);

    const std::string before = test::ReadFileBytes(source);
    const std::string after = test::ReadFileBytes(target);
    ASSERT_EQ(before.size(), after.size());
    std::int64_t area = 0;
    std::uint32_t length = 0;
    {
      auto file = Files().Open(source, OpenMode::kRead);
      ASSERT_TRUE(LocateConfigArea(*file, area, length));
      if (row.executable) {
        const PeChecksumPair pair = ComputePeChecksumPair(*file);
        EXPECT_EQ(pair.stored, pair.computed) << "the fixture itself";
      }
    }
    // The checksum field of an executable: e_lfanew + 88.
    const std::size_t pe =
        static_cast<unsigned char>(before[60]) | static_cast<unsigned char>(before[61]) << 8;
    for (std::size_t i = 0; i < before.size(); ++i) {
      const bool in_area =
          static_cast<std::int64_t>(i) >= area && static_cast<std::int64_t>(i) < area + length;
      const bool in_checksum = row.executable && i >= pe + 88 && i < pe + 92;
      if (!in_area && !in_checksum) {
        ASSERT_EQ(before[i], after[i]) << "byte " << i;
      }
    }
    if (row.executable) {
      auto file = Files().Open(target, OpenMode::kRead);
      const PeChecksumPair pair = ComputePeChecksumPair(*file);
      EXPECT_EQ(pair.stored, pair.computed);
    }
  }
}

TEST(FixtureRoundTripTest, FilesWithoutAnAreaAndLegacyStores) {
  std::string error;
  const std::string target = ConfiguredCopy("never.exe");
  EXPECT_FALSE(StoreConfigToSetup(Fixture("setup-noarea.exe"), target, "p", "", error));
  EXPECT_EQ(error,
            "Not compatible Setup file - setup file does not contain dedicated space for storing "
            "configuration");
  EXPECT_FALSE(StoreConfigToSetup(Fixture("setup-noarea.msi"), target, "p", "", error));
  EXPECT_FALSE(test::FileExists(target));

  const std::string package =
      test::ReadFileBytes(test::SourceDir() + "/tests/fixtures/legacy-package.txt");
  std::string value;
  EXPECT_TRUE(ReadLegacyBlob(Fixture("legacy.exe"), "K-VConfig.bin", value));
  EXPECT_EQ(value, package);
  for (const char* name : {"legacy-262143.exe", "legacy-262145.exe", "legacy-overrun.exe"}) {
    value = "unchanged";
    EXPECT_FALSE(ReadLegacyBlob(Fixture(name), "K-VConfig.bin", value)) << name;
    EXPECT_EQ(value, "unchanged");
  }
  EXPECT_FALSE(ReadBlobFromSetup(Fixture("legacy.exe"), "KVConfig", value));
  EXPECT_FALSE(ReadLegacyBlob(Fixture("setup.msi"), "K-VConfig.bin", value));
}

}  // namespace
}  // namespace kv
