#include "setupfile/FileStream.h"

#include "setupfile/RuntimeError.h"

namespace kv {

namespace {
FileSystem* g_current = nullptr;
}  // namespace

void FileStream::ReadBuffer(std::span<char> buffer) {
  if (Read(buffer) != buffer.size())
    throw StreamReadError();
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
