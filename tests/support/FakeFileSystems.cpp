#include "tests/support/FakeFileSystems.h"

#include <chrono>
#include <thread>

#include "base/RuntimeError.h"

namespace kv::test {

namespace {

class SharedMemoryStream final : public FileStream {
 public:
  explicit SharedMemoryStream(std::shared_ptr<std::string> data) : data_(std::move(data)) {}
  std::int64_t Size() override { return static_cast<std::int64_t>(data_->size()); }
  void Seek(std::int64_t position) override {
    if (position < 0)
      throw StreamReadError();
    position_ = position;
  }
  std::int64_t Position() override { return position_; }
  std::size_t Read(std::span<char> buffer) override {
    if (position_ >= Size())
      return 0;
    const std::size_t n =
        std::min(buffer.size(), data_->size() - static_cast<std::size_t>(position_));
    data_->copy(buffer.data(), n, static_cast<std::size_t>(position_));
    position_ += static_cast<std::int64_t>(n);
    return n;
  }
  void Write(std::span<const char> bytes) override {
    const std::size_t end = static_cast<std::size_t>(position_) + bytes.size();
    if (end > data_->size())
      data_->resize(end);
    data_->replace(static_cast<std::size_t>(position_), bytes.size(), bytes.data(), bytes.size());
    position_ = static_cast<std::int64_t>(end);
  }
  void SetSize(std::int64_t size) override { data_->resize(static_cast<std::size_t>(size)); }

 private:
  std::shared_ptr<std::string> data_;
  std::int64_t position_ = 0;
};

class FaultyStream final : public FileStream {
 public:
  FaultyStream(std::unique_ptr<FileStream> inner, FaultyFileSystem& owner, bool created)
      : owned_(std::move(inner)), inner_(owned_.get()), owner_(owner), created_(created) {}
  FaultyStream(FileStream& inner, FaultyFileSystem& owner)
      : inner_(&inner), owner_(owner), created_(true) {}
  std::int64_t Size() override { return inner_->Size(); }
  void Seek(std::int64_t position) override { inner_->Seek(position); }
  std::int64_t Position() override { return inner_->Position(); }
  std::size_t Read(std::span<char> buffer) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(owner_.faults_.read_delay_ms));
    const std::int64_t limit = owner_.faults_.read_limit;
    if (limit >= 0 && owner_.bytes_read + static_cast<std::int64_t>(buffer.size()) > limit) {
      throw StreamReadError();
    }
    const std::size_t n = inner_->Read(buffer);
    owner_.bytes_read += static_cast<std::int64_t>(n);
    return n;
  }
  void Write(std::span<const char> data) override {
    const int write = created_ ? ++owner_.writes : 0;
    if (write == owner_.faults_.failing_write)
      throw StreamWriteError();
    if (write == owner_.faults_.garbled_write && !data.empty()) {
      std::string garbled(data.begin(), data.end());
      garbled.front() ^= 0x20;
      return inner_->Write(garbled);
    }
    inner_->Write(data);
  }
  void SetSize(std::int64_t size) override { inner_->SetSize(size); }
  void Flush() override {
    if (created_ && owner_.faults_.refuse_flush)
      throw StreamWriteError();
    if (created_)
      std::this_thread::sleep_for(std::chrono::milliseconds(owner_.faults_.flush_delay_ms));
    inner_->Flush();
  }
  FileState State() override { return inner_->State(); }

 private:
  std::unique_ptr<FileStream> owned_;
  FileStream* inner_;
  FaultyFileSystem& owner_;
  bool created_;
};

class MemoryOutput final : public OutputReplacement {
 public:
  MemoryOutput(std::map<std::string, std::shared_ptr<std::string>>& files, std::string path)
      : files_(files), path_(std::move(path)), stream_(copy_) {}
  FileStream& Stream() override { return stream_; }
  bool Replaces(const FileState&) override { return false; }
  void Commit() override { files_[path_] = copy_; }

 private:
  std::map<std::string, std::shared_ptr<std::string>>& files_;
  std::string path_;
  std::shared_ptr<std::string> copy_ = std::make_shared<std::string>();
  SharedMemoryStream stream_;
};

// The platform's replacement, its stream's writes and flushes counted and failed as asked.
class FaultyOutput final : public OutputReplacement {
 public:
  FaultyOutput(std::unique_ptr<OutputReplacement> inner, FaultyFileSystem& owner, std::string path)
      : inner_(std::move(inner)),
        stream_(inner_->Stream(), owner),
        owner_(owner),
        path_(std::move(path)) {}
  FileStream& Stream() override { return stream_; }
  bool Replaces(const FileState& state) override { return inner_->Replaces(state); }
  void Commit() override {
    stream_.Flush();
    if (owner_.faults_.refuse_replace)
      throw FileCreateError(path_, "Access is denied");
    inner_->Commit();
  }

 private:
  std::unique_ptr<OutputReplacement> inner_;
  FaultyStream stream_;
  FaultyFileSystem& owner_;
  std::string path_;
};

}  // namespace

void MemoryFileSystem::Put(const std::string& path, std::string bytes) {
  files_[path] = std::make_shared<std::string>(std::move(bytes));
}

std::string MemoryFileSystem::Get(const std::string& path) const {
  const auto it = files_.find(path);
  return it == files_.end() ? std::string() : *it->second;
}

std::unique_ptr<FileStream> MemoryFileSystem::Open(const std::string& path, OpenMode mode) {
  if (mode == OpenMode::kCreate) {
    Put(path, {});
  } else if (!Exists(path)) {
    throw FileOpenError(path, "No such file or directory");
  }
  return std::make_unique<SharedMemoryStream>(files_[path]);
}

std::unique_ptr<OutputReplacement> MemoryFileSystem::BeginOutput(const std::string& path) {
  return std::make_unique<MemoryOutput>(files_, path);
}

std::unique_ptr<OutputReplacement> FaultyFileSystem::BeginOutput(const std::string& path) {
  if (faults_.refuse_create)
    throw FileCreateError(path, "Access is denied");
  return std::make_unique<FaultyOutput>(PlatformFileSystem().BeginOutput(path), *this, path);
}

std::unique_ptr<FileStream> FaultyFileSystem::Open(const std::string& path, OpenMode mode) {
  if (mode == OpenMode::kCreate && faults_.refuse_create) {
    throw FileCreateError(path, "Access is denied");
  }
  return std::make_unique<FaultyStream>(PlatformFileSystem().Open(path, mode), *this,
                                        mode == OpenMode::kCreate);
}

}  // namespace kv::test
