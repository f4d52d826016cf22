// POSIX backend of the file layer. Linux has no mandatory sharing modes, so "other writers
// denied" cannot be enforced here; the streams are plain descriptors.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/RuntimeError.h"
#include "setupfile/FileStream.h"

namespace kv {

namespace {

std::string SystemErrorText(int error) {
  return std::strerror(error);
}

class PosixFileStream final : public FileStream {
 public:
  explicit PosixFileStream(int fd) : fd_(fd) {}
  ~PosixFileStream() override { ::close(fd_); }

  bool IsRegularFile() override {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
  }

  std::int64_t Size() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
      throw StreamReadError();
    return st.st_size;
  }

  void Seek(std::int64_t position) override {
    if (position < 0 || ::lseek(fd_, position, SEEK_SET) < 0)
      throw StreamReadError();
  }

  std::int64_t Position() override {
    const off_t pos = ::lseek(fd_, 0, SEEK_CUR);
    if (pos < 0)
      throw StreamReadError();
    return pos;
  }

  std::size_t Read(std::span<char> buffer) override {
    std::size_t done = 0;
    while (done < buffer.size()) {
      const ssize_t n = ::read(fd_, buffer.data() + done, buffer.size() - done);
      if (n < 0 && errno == EINTR)
        continue;
      if (n < 0)
        throw StreamReadError();
      if (n == 0)
        break;
      done += static_cast<std::size_t>(n);
    }
    return done;
  }

  void Write(std::span<const char> data) override {
    std::size_t done = 0;
    while (done < data.size()) {
      const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        throw StreamWriteError();
      done += static_cast<std::size_t>(n);
    }
  }

  void SetSize(std::int64_t size) override {
    if (size < 0 || ::ftruncate(fd_, size) != 0)
      throw StreamWriteError();
  }

  void Flush() override {
    if (::fdatasync(fd_) != 0)
      throw StreamWriteError();
  }

  std::int64_t CopyFromBySystem(FileStream& source, std::int64_t count) override {
    auto* posix_source = dynamic_cast<PosixFileStream*>(&source);
    if (posix_source == nullptr)
      return 0;
    std::int64_t done = 0;
    while (done < count) {
      const ssize_t n = ::copy_file_range(posix_source->fd_, nullptr, fd_, nullptr,
                                          static_cast<std::size_t>(count - done), 0);
      if (n < 0 && errno == EINTR)
        continue;
      // Refused (another file system, an old kernel) or at the end: the caller copies the rest
      // in blocks, where a full disk or an I/O error shows with its message.
      if (n <= 0)
        break;
      done += n;
    }
    return done;
  }

 private:
  int fd_;
};

// Waits until a pipe has bytes to read or its writer closed it, at most kPipeWaitMilliseconds.
bool WaitForInput(int fd) {
  pollfd entry{.fd = fd, .events = POLLIN, .revents = 0};
  int ready = 0;
  do {
    ready = ::poll(&entry, 1, kPipeWaitMilliseconds);
  } while (ready < 0 && errno == EINTR);
  return ready > 0;
}

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<FileStream> Open(const std::string& path, OpenMode mode) override {
    int flags = O_CLOEXEC;
    switch (mode) {
      case OpenMode::kRead:
        flags |= O_RDONLY;
        break;
      case OpenMode::kReadWrite:
        flags |= O_RDWR;
        break;
      case OpenMode::kCreate:
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        break;
    }
    // A zero byte would silently name another file through the C interface.
    if (path.empty() || HasZeroByte(path)) {
      if (mode == OpenMode::kCreate)
        throw FileCreateError(path, SystemErrorText(EINVAL));
      throw FileOpenError(path, SystemErrorText(ENOENT));
    }
    // Not blocking: opening a named pipe for reading would otherwise wait for a writer for ever.
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK, 0666);
    if (fd < 0) {
      const int error = errno;
      if (mode == OpenMode::kCreate)
        throw FileCreateError(path, SystemErrorText(error));
      throw FileOpenError(path, SystemErrorText(error));
    }
    auto stream = std::make_unique<PosixFileStream>(fd);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
      throw FileOpenError(path, SystemErrorText(EISDIR));
    if (S_ISFIFO(st.st_mode) && !WaitForInput(fd))
      throw FileOpenError(path, "Nothing was written to the pipe within a second");
    const int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0)
      throw FileOpenError(path, SystemErrorText(errno));
    return stream;
  }

  std::unique_ptr<FileStream> CreateBeside(const std::string& path,
                                           std::string& temporary_path) override {
    if (path.empty() || HasZeroByte(path))
      throw FileCreateError(path, SystemErrorText(EINVAL));
    const std::string replaced = FollowLink(path);
    // A file its owner may not write stays as it is, as an overwrite in place would.
    if (::access(replaced.c_str(), F_OK) == 0 && ::access(replaced.c_str(), W_OK) != 0)
      throw FileCreateError(path, SystemErrorText(errno));
    const auto process_id = static_cast<std::uint32_t>(::getpid());
    int error = EEXIST;
    for (int attempt = 1; attempt <= kTemporaryPathAttempts && error == EEXIST; ++attempt) {
      const std::string candidate = TemporaryPathFor(replaced, process_id, attempt);
      const int fd = ::open(candidate.c_str(), O_CLOEXEC | O_RDWR | O_CREAT | O_EXCL, 0666);
      if (fd >= 0) {
        temporary_path = candidate;
        // A replaced file keeps its permissions.
        struct stat st {};
        if (::stat(replaced.c_str(), &st) == 0)
          ::fchmod(fd, st.st_mode & 07777);
        return std::make_unique<PosixFileStream>(fd);
      }
      error = errno;
    }
    throw FileCreateError(path, SystemErrorText(error));
  }

  void Replace(const std::string& from, const std::string& to) override {
    if (HasZeroByte(from) || HasZeroByte(to))
      throw FileCreateError(to, SystemErrorText(EINVAL));
    if (::rename(from.c_str(), FollowLink(to).c_str()) != 0)
      throw FileCreateError(to, SystemErrorText(errno));
  }

  bool Delete(const std::string& path) override {
    return !HasZeroByte(path) && ::unlink(path.c_str()) == 0;
  }

  bool Exists(const std::string& path) override {
    struct stat st {};
    return !HasZeroByte(path) && ::stat(path.c_str(), &st) == 0;
  }

  bool IsSpecialFile(const std::string& path) override {
    struct stat st {};
    return !HasZeroByte(path) && ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
  }

  bool IsSameFile(const std::string& a, const std::string& b) override {
    struct stat sa {};
    struct stat sb {};
    if (HasZeroByte(a) || HasZeroByte(b) || ::stat(a.c_str(), &sa) != 0 ||
        ::stat(b.c_str(), &sb) != 0) {
      return false;
    }
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  }

 private:
  static bool HasZeroByte(const std::string& path) { return path.find('\0') != std::string::npos; }

  // The file a symbolic link leads to, so that a replacement lands there and the link stays;
  // path itself when it is no link or leads nowhere.
  static std::string FollowLink(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
      return path;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr)
      return path;
    std::string target(resolved);
    std::free(resolved);
    return target;
  }
};

}  // namespace

FileSystem& PlatformFileSystem() {
  static PosixFileSystem instance;
  return instance;
}

}  // namespace kv
