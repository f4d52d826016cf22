#include "setupfile/FileStream.h"

#include <algorithm>
#include <cstdio>
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

std::size_t FileStream::ReadAt(std::int64_t position, std::span<char> buffer) {
  const std::int64_t keep = Position();
  Seek(position);
  const std::size_t n = Read(buffer);
  Seek(keep);
  return n;
}

std::string TemporaryName(std::uint32_t process_id, std::uint32_t random) {
  char name[48];
  std::snprintf(name, sizeof name, ".kvsetup-%010u-%08x.partial", static_cast<unsigned>(process_id),
                static_cast<unsigned>(random));
  return name;
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
