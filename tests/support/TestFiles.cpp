#include "tests/support/TestFiles.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "base/RuntimeError.h"

namespace kv::test {

std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::filesystem::path Utf8ToPath(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  root_ = std::filesystem::temp_directory_path() /
          ("kvtest-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(root_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::string TempDir::Path(const std::string& name) const {
  return PathToUtf8(root_ / Utf8ToPath(name));
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(Utf8ToPath(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out)
    throw std::runtime_error("cannot write " + path);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(Utf8ToPath(path), std::ios::binary);
  if (!in)
    throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(Utf8ToPath(path), ignored);
}

void MemoryFileStream::Seek(std::int64_t position) {
  if (position < 0)
    throw StreamReadError();
  position_ = position;
}

std::size_t MemoryFileStream::Read(std::span<char> buffer) {
  if (position_ >= Size())
    return 0;
  const std::size_t n = std::min(buffer.size(), data_.size() - static_cast<std::size_t>(position_));
  data_.copy(buffer.data(), n, static_cast<std::size_t>(position_));
  position_ += static_cast<std::int64_t>(n);
  return n;
}

void MemoryFileStream::Write(std::span<const char> data) {
  const std::size_t end = static_cast<std::size_t>(position_) + data.size();
  if (end > data_.size())
    data_.resize(end);
  data_.replace(static_cast<std::size_t>(position_), data.size(), data.data(), data.size());
  position_ = static_cast<std::int64_t>(end);
}

std::size_t CountingFileStream::Read(std::span<char> buffer) {
  const std::size_t n = inner_.Read(buffer);
  bytes_read_ += static_cast<std::int64_t>(n);
  largest_read_ = std::max(largest_read_, buffer.size());
  return n;
}

namespace {
// CTest passes host paths; under Wine the host's root is drive Z:.
std::string HostPath(const char* dir) {
  if (dir == nullptr)
    return ".";
  std::string path(dir);
#ifdef _WIN32
  if (!path.empty() && path.front() == '/')
    path = "Z:" + path;
#endif
  return path;
}
}  // namespace

std::string SourceDir() {
  return HostPath(std::getenv("KV_SOURCE_DIR"));
}

std::string BinaryDir() {
  return HostPath(std::getenv("KV_BINARY_DIR"));
}

}  // namespace kv::test
