// The compound file reader and the order in which a signed package's bytes are hashed, on small
// images built independently (tests/support), intact and with one field broken.
#include <gtest/gtest.h>

#include "setupfile/CompoundFile.h"
#include "setupfile/MsiSignature.h"
#include "tests/support/SetupImages.h"
#include "tests/support/TestFiles.h"

namespace kv {
namespace {

std::string Big() {
  std::string bytes(5000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(i % 251);
  return bytes;
}

// "B" (mini stream), "A" (sectors 4 to 13 after the tables), the signature (mini stream).
std::string Image() {
  return test::CompoundFileImage({{"B", "abc"},
                                  {"A", Big()},
                                  {"\x05"
                                   "DigitalSignature",
                                   "sig"}});
}

// Opens the image and hashes it as a signed package would be; the error of the first failure.
bool Walk(const std::string& image, std::string& content, std::string& signature,
          std::string& error) {
  test::MemoryFileStream stream(image);
  CompoundFile file;
  MsiSignatureStreams streams;
  const bool ok = file.Open(stream, error) && ReadMsiSignatureStreams(file, streams, error) &&
                  FeedMsiSignedContent(
                      file, [&](std::string_view bytes) { content += bytes; }, error);
  signature = streams.signature;
  return ok;
}

TEST(CompoundFileTest, ContentInNameOrderWithoutTheSignature) {
  std::string content, signature, error;
  ASSERT_TRUE(Walk(Image(), content, signature, error)) << error;
  EXPECT_EQ(content, Big() + "abc" + std::string(16, '\0'));  // then the root's class id
  EXPECT_EQ(signature, "sig");
}

TEST(CompoundFileTest, MalformedFilesAreRefused) {
  constexpr std::size_t kFat = 512;                // sector 0
  constexpr std::size_t kEntryA = 1024 + 2 * 128;  // directory entry 2
  struct Row {
    const char* what;
    std::size_t offset;
    std::uint32_t value;
    std::size_t keep;  // bytes of the image kept
  };
  const Row rows[] = {
      {"circular sector chain", kFat + 4 * 5, 4, SIZE_MAX},
      {"circular directory tree", kEntryA + 72, 1, SIZE_MAX},
      {"stream larger than the file", kEntryA + 120, 0x7FFFFFFF, SIZE_MAX},
      {"stream shorter than its size says", kEntryA + 120, 6000, SIZE_MAX},
      {"allocation table count", 44, 0x10000, SIZE_MAX},
      {"mini table chain outside the file", 60, 0x1000, SIZE_MAX},
      {"truncated file", 0, 0, 512 * 6},
      {"not a compound file", 0, 0x11111111, SIZE_MAX},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::string image = Image().substr(0, row.keep);
    if (row.keep == SIZE_MAX) {
      for (int i = 0; i < 4; ++i)
        image[row.offset + i] = static_cast<char>(row.value >> (8 * i));
    }
    std::string content, signature, error;
    EXPECT_FALSE(Walk(image, content, signature, error));
    EXPECT_NE(error, "");
  }
}

}  // namespace
}  // namespace kv
