#include "app/SameFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/TestFiles.h"

namespace kv {
namespace {

TEST(SameFileTest, Table) {
  test::TempDir dir;
  const std::string name = "setup \xC5\xBE\xC3\xA4.exe";  // UTF-8 letters in the name
  const std::string source = dir.Path(name);
  const std::string other = dir.Path("other.exe");
  const std::string link = dir.Path("link.exe");
  test::WriteFileBytes(source, "MZ");
  test::WriteFileBytes(other, "MZ");
  std::filesystem::create_hard_link(test::Utf8ToPath(source), test::Utf8ToPath(link));
  const std::string folder = test::PathToUtf8(dir.Root().filename());

  struct Row {
    std::string first, second;
    bool same;
  };
  const Row rows[] = {
      {source, source, true},
      {source, dir.Path("./" + name), true},
      {source, dir.Path("../" + folder + "/" + name), true},
      {source, link, true},
      {source, other, false},
      {source, dir.Path("missing.exe"), false},
      {dir.Path("missing.exe"), dir.Path("missing.exe"), false},
      {"", "", false},
  };
  for (const Row& row : rows)
    EXPECT_EQ(IsSameExistingFile(row.first, row.second), row.same)
        << row.first << " | " << row.second;
}

}  // namespace
}  // namespace kv
