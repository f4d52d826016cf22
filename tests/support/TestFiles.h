// Test helpers: a temporary folder removed afterwards, whole-file read and write, an in-memory
// file stream, and a stream decorator that counts the bytes read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "setupfile/FileStream.h"

namespace kv::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // A path inside the folder, as a UTF-8 byte string.
  std::string Path(const std::string& name) const;
  const std::filesystem::path& Root() const { return root_; }

 private:
  std::filesystem::path root_;
};

std::string PathToUtf8(const std::filesystem::path& path);
std::filesystem::path Utf8ToPath(const std::string& path);

void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

// A file stream over bytes in memory.
class MemoryFileStream final : public FileStream {
 public:
  explicit MemoryFileStream(std::string data) : data_(std::move(data)) {}
  std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
  void Seek(std::int64_t position) override;
  std::int64_t Position() override { return position_; }
  std::size_t Read(std::span<char> buffer) override;
  void Write(std::span<const char> data) override;
  void SetSize(std::int64_t size) override { data_.resize(static_cast<std::size_t>(size)); }
  const std::string& Data() const { return data_; }

 private:
  std::string data_;
  std::int64_t position_ = 0;
};

// Forwards to another stream and counts what is read.
class CountingFileStream final : public FileStream {
 public:
  explicit CountingFileStream(FileStream& inner) : inner_(inner) {}
  std::int64_t Size() override { return inner_.Size(); }
  void Seek(std::int64_t position) override { inner_.Seek(position); }
  std::int64_t Position() override { return inner_.Position(); }
  std::size_t Read(std::span<char> buffer) override;
  void Write(std::span<const char> data) override { inner_.Write(data); }
  void SetSize(std::int64_t size) override { inner_.SetSize(size); }
  std::int64_t BytesRead() const { return bytes_read_; }
  std::size_t LargestRead() const { return largest_read_; }

 private:
  FileStream& inner_;
  std::int64_t bytes_read_ = 0;
  std::size_t largest_read_ = 0;
};

// The source folder (for fixtures) and the build folder, from the environment CTest sets.
std::string SourceDir();
std::string BinaryDir();

}  // namespace kv::test
