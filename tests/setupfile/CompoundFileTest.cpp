// The compound file reader and the order in which a signed package's bytes are hashed, on images
// built independently (tests/support): small ones intact and with one field broken, and large
// hostile ones whose walks are bounded by counting this program's allocations.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "setupfile/CompoundFile.h"
#include "setupfile/MsiSignature.h"
#include "tests/support/SetupImages.h"
#include "tests/support/TestFiles.h"

// Every allocation of this test program is counted, so that a test can bound the memory and the
// work of a walk without timing it.
namespace {
std::atomic<std::uint64_t> allocated_bytes{0};
std::atomic<std::uint64_t> allocations{0};

// Out of line, so that the compiler does not take a block from new handed to free for a mistake.
[[gnu::noinline]] void Release(void* block) {
  std::free(block);
}
}  // namespace

void* operator new(std::size_t size) {
  allocated_bytes += size;
  ++allocations;
  if (void* block = std::malloc(size == 0 ? 1 : size))
    return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
  Release(block);
}
void operator delete(void* block, std::size_t) noexcept {
  Release(block);
}

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
  // A name sorts before the longer names it begins.
  std::string prefixed;
  ASSERT_TRUE(Walk(test::CompoundFileImage({{"AB", "1"}, {"A", "2"}, {"A\x01", "3"}}), prefixed,
                   signature, error))
      << error;
  EXPECT_EQ(prefixed, "231" + std::string(16, '\0'));
  // The last sector may lack the padding after a stream: it holds the last 392 bytes of "A".
  std::string trimmed_content;
  ASSERT_TRUE(Walk(Image().substr(0, 7680 - 100), trimmed_content, signature, error)) << error;
  EXPECT_EQ(trimmed_content, content);
}

TEST(CompoundFileTest, MalformedFilesAreRefused) {
  constexpr std::size_t kFat = 512;                // sector 0
  constexpr std::size_t kEntryA = 1024 + 2 * 128;  // directory entry 2
  constexpr std::size_t kRoot = 1024;              // directory entry 0
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
      {"stream past the end of the file", 0, 0, 7680 - 200},
      {"not a compound file", 0, 0x11111111, SIZE_MAX},
      // Read differently by other readers: other mini sectors, another split into mini streams.
      {"mini sector shift 7", 32, 7, SIZE_MAX},
      {"mini stream cutoff 4095", 56, 4095, SIZE_MAX},
      // The signature's three bytes start at 64 in the mini stream.
      {"stream running past the end of the mini stream", kRoot + 120, 66, SIZE_MAX},
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

TEST(CompoundFileTest, TwoSignatureStreamsAreRefused) {
  const std::string image = test::CompoundFileImage({{"\x05"
                                                      "DigitalSignature",
                                                      "one"},
                                                     {"A", Big()},
                                                     {"\x05"
                                                      "DigitalSignature",
                                                      "two"}});
  std::string content, signature, error;
  EXPECT_FALSE(Walk(image, content, signature, error));
  EXPECT_NE(error, "");
}

// Hostile directories and mini streams that cost time or memory growing with the square of their
// size, or with a size the file only states: a file of 1.5 MiB whose storages all name one tree
// of children took 16 s. Every walk of a signed package now stays within a few allocations per
// entry and the memory the reader promises, or the file is refused.
TEST(CompoundFileTest, HostileFilesAreWalkedInLinearWork) {
  constexpr std::uint32_t kCount = 6144;
  constexpr std::uint64_t kMiB = 1 << 20;
  const struct {
    const char* what;
    std::string image;
    std::uint32_t entries;
    const char* error;     // empty: the walks finish
    std::uint64_t handed;  // bytes handed to the sinks
    std::uint64_t max_bytes;
  } rows[] = {
      // 12,289 entries, 1.5 MiB. Each entry once: the metadata of the root (20 bytes), of each
      // storage (60) and stream (48), then the class ids of the storages and the root (16 each).
      {"each storage with a stream of its own", test::StorageTreeCompoundFile(kCount, false),
       2 * kCount + 1, "", 20 + kCount * (60 + 48 + 16) + 16, 16 * kMiB},
      // A tree that reaches an entry twice is no tree the format allows.
      {"every storage naming one tree of all the streams",
       test::StorageTreeCompoundFile(kCount, true), 2 * kCount + 1,
       "the compound file's directory reaches one entry twice", 0, 16 * kMiB},
      // Each stream's chain once, not the whole mini table of 64 Ki links for each stream.
      {"one-byte streams sharing a mini sector", test::MiniStreamCompoundFile(kCount, 4 * kMiB),
       kCount + 1, "", 20 + kCount * (48 + 1) + 16, 16 * kMiB},
      // The mini stream is read where it lies, not held.
      {"a mini stream of 6 MiB", test::MiniStreamCompoundFile(1, 6 * kMiB), 2, "", 20 + 48 + 1 + 16,
       2 * kMiB},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    test::MemoryFileStream stream(row.image);
    allocated_bytes = 0;
    allocations = 0;
    CompoundFile file;
    MsiSignatureStreams streams;
    std::uint64_t handed = 0;
    const ByteSink count = [&](std::string_view bytes) { handed += bytes.size(); };
    std::string error;
    const bool ok = file.Open(stream, error) && ReadMsiSignatureStreams(file, streams, error) &&
                    FeedMsiPreHashMetadata(file, count, error) &&
                    FeedMsiSignedContent(file, count, error);
    EXPECT_EQ(ok, *row.error == '\0') << error;
    EXPECT_EQ(error, row.error);
    EXPECT_EQ(handed, row.handed);
    // At least the directory's entries are counted (the counter works), at most a few
    // allocations per entry and the row's bytes in all.
    EXPECT_GT(allocated_bytes, 128 * row.entries);
    EXPECT_LT(allocations, 8 * row.entries + 100);
    EXPECT_LT(allocated_bytes, row.max_bytes);
  }
}

}  // namespace
}  // namespace kv
