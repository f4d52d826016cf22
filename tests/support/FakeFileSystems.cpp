#include "tests/support/FakeFileSystems.h"

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
      : inner_(std::move(inner)), owner_(owner), created_(created) {}
  std::int64_t Size() override { return inner_->Size(); }
  void Seek(std::int64_t position) override { inner_->Seek(position); }
  std::int64_t Position() override { return inner_->Position(); }
  std::size_t Read(std::span<char> buffer) override {
    const std::int64_t limit = owner_.faults_.read_limit;
    if (limit >= 0 && owner_.bytes_read + static_cast<std::int64_t>(buffer.size()) > limit) {
      throw StreamReadError();
    }
    const std::size_t n = inner_->Read(buffer);
    owner_.bytes_read += static_cast<std::int64_t>(n);
    return n;
  }
  void Write(std::span<const char> data) override {
    if (created_ && ++owner_.writes == owner_.faults_.failing_write)
      throw StreamWriteError();
    inner_->Write(data);
  }
  void SetSize(std::int64_t size) override { inner_->SetSize(size); }
  void Flush() override {
    if (created_ && owner_.faults_.refuse_flush)
      throw StreamWriteError();
    inner_->Flush();
  }

 private:
  std::unique_ptr<FileStream> inner_;
  FaultyFileSystem& owner_;
  bool created_;
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

std::unique_ptr<FileStream> MemoryFileSystem::CreateBeside(const std::string& path,
                                                           std::string& temporary_path) {
  for (int attempt = 1; attempt <= kTemporaryPathAttempts; ++attempt) {
    temporary_path = TemporaryPathFor(path, 0, attempt);
    if (!Exists(temporary_path))
      return Open(temporary_path, OpenMode::kCreate);
  }
  throw FileCreateError(path, "File exists");
}

void MemoryFileSystem::Replace(const std::string& from, const std::string& to) {
  if (!Exists(from))
    throw FileCreateError(to, "No such file or directory");
  files_[to] = files_[from];
  files_.erase(from);
}

std::unique_ptr<FileStream> FaultyFileSystem::CreateBeside(const std::string& path,
                                                           std::string& temporary_path) {
  if (faults_.refuse_create)
    throw FileCreateError(path, "Access is denied");
  return std::make_unique<FaultyStream>(PlatformFileSystem().CreateBeside(path, temporary_path),
                                        *this, true);
}

void FaultyFileSystem::Replace(const std::string& from, const std::string& to) {
  if (faults_.refuse_replace)
    throw FileCreateError(to, "Access is denied");
  PlatformFileSystem().Replace(from, to);
}

std::unique_ptr<FileStream> FaultyFileSystem::Open(const std::string& path, OpenMode mode) {
  if (mode == OpenMode::kCreate && faults_.refuse_create) {
    throw FileCreateError(path, "Access is denied");
  }
  return std::make_unique<FaultyStream>(PlatformFileSystem().Open(path, mode), *this,
                                        mode == OpenMode::kCreate);
}

}  // namespace kv::test
