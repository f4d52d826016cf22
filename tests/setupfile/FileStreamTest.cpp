#include "setupfile/FileStream.h"

#include <gtest/gtest.h>

#include "base/RuntimeError.h"
#include "tests/support/TestFiles.h"

namespace kv {
namespace {

TEST(FileStreamTest, ReadWriteSeekAndSize) {
  test::TempDir dir;
  const std::string path = dir.Path("f.bin");
  {
    auto file = Files().Open(path, OpenMode::kCreate);
    file->SetSize(10);
    EXPECT_EQ(file->Size(), 10);
    file->Seek(8);
    file->Write(std::string("abcd"));
    EXPECT_EQ(file->Position(), 12);
  }
  EXPECT_EQ(test::ReadFileBytes(path), std::string(8, '\0') + "abcd");
  auto file = Files().Open(path, OpenMode::kRead);
  std::string buffer(20, 'x');
  file->Seek(6);
  EXPECT_EQ(file->Read(buffer), 6u);
  EXPECT_THROW(file->ReadBuffer(buffer), RuntimeError);
  EXPECT_THROW(file->Write(std::string("z")), RuntimeError);
}

TEST(FileStreamTest, OpenFailuresNameTheFile) {
  test::TempDir dir;
  struct Row {
    std::string path;
    OpenMode mode;
    std::string class_name;
    std::string message_start;
  };
  const Row rows[] = {
      {dir.Path("missing"), OpenMode::kRead, "EFOpenError",
       "Cannot open file \"" + dir.Path("missing") + "\""},
      {dir.Path("missing"), OpenMode::kReadWrite, "EFOpenError", "Cannot open file \""},
      {dir.Path("no/such/folder/x"), OpenMode::kCreate, "EFCreateError", "Cannot create file \""},
      {"", OpenMode::kRead, "EFOpenError", "Cannot open file \"\""},
      {std::string("a\0b", 3), OpenMode::kCreate, "EFCreateError", "Cannot create file \""},
  };
  for (const Row& row : rows) {
    try {
      Files().Open(row.path, row.mode);
      ADD_FAILURE() << row.path << " opened";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.ClassName(), row.class_name);
      EXPECT_EQ(e.Message().rfind(row.message_start, 0), 0u) << e.Message();
    }
  }
  EXPECT_FALSE(test::FileExists(dir.Path("a")));
}

#ifdef _WIN32
TEST(FileStreamTest, InputsDenyOtherWritersAndCreatedFilesAreExclusive) {
  test::TempDir dir;
  const std::string path = dir.Path("shared.bin");
  test::WriteFileBytes(path, "data");
  {
    auto reader = Files().Open(path, OpenMode::kRead);
    EXPECT_THROW(Files().Open(path, OpenMode::kReadWrite), RuntimeError);
    EXPECT_NO_THROW(Files().Open(path, OpenMode::kRead));
  }
  auto created = Files().Open(dir.Path("new.bin"), OpenMode::kCreate);
  EXPECT_THROW(Files().Open(dir.Path("new.bin"), OpenMode::kRead), RuntimeError);
}
#endif

}  // namespace
}  // namespace kv
