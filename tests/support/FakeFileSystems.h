// File systems for tests: one in memory (for fuzzing and fast tests), and one that forwards to
// the platform's and injects faults (full disk, read errors, refused creation).
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "setupfile/FileStream.h"

namespace kv::test {

class MemoryFileSystem final : public FileSystem {
 public:
  void Put(const std::string& path, std::string bytes);
  // The bytes of a file; empty when it does not exist.
  std::string Get(const std::string& path) const;

  std::unique_ptr<FileStream> Open(const std::string& path, OpenMode mode) override;
  std::unique_ptr<OutputReplacement> BeginOutput(const std::string& path) override;
  bool Delete(const std::string& path) override { return files_.erase(path) > 0; }
  bool Exists(const std::string& path) override { return files_.count(path) > 0; }
  bool IsSameFile(const std::string& a, const std::string& b) override {
    return a == b && Exists(a);
  }
  bool IsSpecialFile(const std::string&) override { return false; }

 private:
  std::map<std::string, std::shared_ptr<std::string>> files_;
};

struct Faults {
  bool refuse_create = false;  // creating a file or an output fails ("Cannot create file")
  bool refuse_flush = false;   // a created file cannot be flushed to the disk
  int failing_write = 0;       // the N-th write to a created file fails (1-based)
  int garbled_write = 0;       // the N-th write to a created file lands with its first byte changed
  std::int64_t read_limit = -1;  // reads fail once this many bytes were read in all
  bool refuse_replace = false;   // renaming the finished copy over the output fails
  int read_delay_ms = 0;         // every read waits this long first (a slow source)
  int flush_delay_ms = 0;        // flushing a created file waits this long first (a slow disk)
};

class FaultyFileSystem final : public FileSystem {
 public:
  explicit FaultyFileSystem(Faults faults) : faults_(faults) {}

  std::unique_ptr<FileStream> Open(const std::string& path, OpenMode mode) override;
  std::unique_ptr<OutputReplacement> BeginOutput(const std::string& path) override;
  bool Delete(const std::string& path) override { return PlatformFileSystem().Delete(path); }
  bool Exists(const std::string& path) override { return PlatformFileSystem().Exists(path); }
  bool IsSameFile(const std::string& a, const std::string& b) override {
    return PlatformFileSystem().IsSameFile(a, b);
  }
  bool IsSpecialFile(const std::string& path) override {
    return PlatformFileSystem().IsSpecialFile(path);
  }

  // Shared by the streams this file system opened (on more than one thread).
  std::atomic<int> writes = 0;
  std::atomic<std::int64_t> bytes_read = 0;
  const Faults faults_;
};

}  // namespace kv::test
