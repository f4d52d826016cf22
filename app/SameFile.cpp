#include "app/SameFile.h"

#include <filesystem>
#include <system_error>

namespace kv {

namespace {

std::filesystem::path Utf8Path(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

}  // namespace

bool IsSameExistingFile(const std::string& first, const std::string& second) {
  std::error_code failure;
  const bool same = std::filesystem::equivalent(Utf8Path(first), Utf8Path(second), failure);
  return same && !failure;
}

}  // namespace kv
