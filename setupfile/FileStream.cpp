#include "setupfile/FileStream.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/RuntimeError.h"

namespace kv {

namespace {
FileSystem* g_current = nullptr;
}  // namespace

void FileStream::ReadBuffer(std::span<char> buffer) {
  if (Read(buffer) != buffer.size())
    throw StreamReadError();
}

std::string TemporaryPathFor(const std::string& path, std::uint32_t process_id, int attempt) {
  return path + "." + std::to_string(process_id) + "-" + std::to_string(attempt) + ".partial";
}

void CopyStreamData(FileStream& source, FileStream& target, std::int64_t count) {
  constexpr std::size_t kCopyBlockSize = 61440;
  count -= target.CopyFromBySystem(source, count);
  std::vector<char> block(kCopyBlockSize);
  while (count > 0) {
    const std::size_t n = static_cast<std::size_t>(
        std::min<std::int64_t>(count, static_cast<std::int64_t>(kCopyBlockSize)));
    source.ReadBuffer(std::span<char>(block).first(n));
    target.Write(std::span<const char>(block).first(n));
    count -= static_cast<std::int64_t>(n);
  }
}

FileSystem& Files() {
  return g_current != nullptr ? *g_current : PlatformFileSystem();
}

ScopedFileSystem::ScopedFileSystem(FileSystem& replacement) : previous_(g_current) {
  g_current = &replacement;
}

ScopedFileSystem::~ScopedFileSystem() {
  g_current = previous_;
}

}  // namespace kv
