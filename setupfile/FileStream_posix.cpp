// POSIX backend of the file layer. Linux has no mandatory sharing modes, so "other writers
// denied" cannot be enforced here; the streams are plain descriptors, and a source is checked
// for changes instead. An output is replaced relative to its folder, held open from the start.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

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

  std::size_t ReadAt(std::int64_t position, std::span<char> buffer) override {
    std::size_t done = 0;
    while (done < buffer.size()) {
      const ssize_t n = ::pread(fd_, buffer.data() + done, buffer.size() - done,
                                position + static_cast<std::int64_t>(done));
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

  bool ReadsAtFromAnyThread() override { return true; }

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
    written_ = true;
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
    written_ = true;
    if (size < 0 || ::ftruncate(fd_, size) != 0)
      throw StreamWriteError();
  }

  void Flush() override {
    if (::fdatasync(fd_) != 0)
      throw StreamWriteError();
  }

  void StartFlush(std::int64_t offset, std::int64_t count) override {
    ::sync_file_range(fd_, offset, count, SYNC_FILE_RANGE_WRITE);
  }

  FileState State() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
      throw StreamReadError();
    return {.volume = st.st_dev,
            .index = st.st_ino,
            .size = st.st_size,
            .modified = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
  }

  int Descriptor() const { return fd_; }
  // Whether anything was written or the size set since the stream was opened.
  bool Written() const { return written_; }

  std::int64_t CopyFromBySystem(FileStream& source, std::int64_t count) override {
    auto* posix_source = dynamic_cast<PosixFileStream*>(&source);
    if (posix_source == nullptr)
      return 0;
    written_ = true;
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
  bool written_ = false;
};

// A descriptor closed with its owner.
class HeldDescriptor {
 public:
  explicit HeldDescriptor(int fd = -1) : fd_(fd) {}
  HeldDescriptor(HeldDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  HeldDescriptor& operator=(HeldDescriptor&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~HeldDescriptor() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  int Get() const { return fd_; }

 private:
  int fd_;
};

// The unfinished copy's name in its folder, for a signal that ends the process before the copy
// is renamed: the handler removes it (with calls that are safe in a handler) and lets the signal
// end the process as it would have. Signals the process ignores stay ignored.
class TemporaryNameGuard {
 public:
  TemporaryNameGuard(int folder, const std::string& name) {
    std::snprintf(name_, sizeof name_, "%s", name.c_str());
    folder_ = folder;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
      struct sigaction action {};
      action.sa_handler = RemoveAndEnd;
      sigemptyset(&action.sa_mask);
      ::sigaction(kSignals[i], nullptr, &previous_[i]);
      if (previous_[i].sa_handler != SIG_IGN)
        ::sigaction(kSignals[i], &action, nullptr);
    }
  }
  ~TemporaryNameGuard() {
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
      ::sigaction(kSignals[i], &previous_[i], nullptr);
    folder_ = -1;
  }
  TemporaryNameGuard(const TemporaryNameGuard&) = delete;
  TemporaryNameGuard& operator=(const TemporaryNameGuard&) = delete;

 private:
  // The signals that remove the copy; held back while it is created, so that none comes between
  // its creation and the handler's.
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

 public:
  class HoldSignals {
   public:
    HoldSignals() {
      sigset_t held;
      sigemptyset(&held);
      for (const int signal_number : kSignals)
        sigaddset(&held, signal_number);
      ::pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    ~HoldSignals() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    HoldSignals(const HoldSignals&) = delete;
    HoldSignals& operator=(const HoldSignals&) = delete;

   private:
    sigset_t previous_;
  };

 private:
  static void RemoveAndEnd(int signal_number) {
    if (folder_ >= 0)
      ::unlinkat(folder_, name_, 0);
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);  // delivered when the handler returns
  }

  static inline volatile std::sig_atomic_t folder_ = -1;
  static inline char name_[64] = {};
  struct sigaction previous_[std::size(kSignals)]{};
};

// An output's folder, held open, and the output's name in it.
struct OutputPlace {
  HeldDescriptor folder;
  std::string name;
};

enum class CopyKind {
  kUnnamed,  // created without a name; linked into the folder when complete
  kNamed,    // created under a temporary name
  kInPlace,  // the output itself
};

class PosixOutputReplacement final : public OutputReplacement {
 public:
  PosixOutputReplacement(std::string path, OutputPlace place, std::optional<struct stat> replaced,
                         CopyKind kind, int fd, std::string temporary_name)
      : path_(std::move(path)),
        place_(std::move(place)),
        replaced_(replaced),
        kind_(kind),
        stream_(fd),
        temporary_name_(std::move(temporary_name)) {
    if (kind_ == CopyKind::kNamed)
      guard_.emplace(place_.folder.Get(), temporary_name_);
  }
  ~PosixOutputReplacement() override {
    if (committed_)
      return;
    if (kind_ == CopyKind::kNamed)
      ::unlinkat(place_.folder.Get(), temporary_name_.c_str(), 0);
    // A partly overwritten output would pass for a setup file: it is removed, or where its
    // folder does not allow that, emptied.
    if (kind_ == CopyKind::kInPlace && stream_.Written() &&
        ::unlinkat(place_.folder.Get(), place_.name.c_str(), 0) != 0) {
      ::ftruncate(stream_.Descriptor(), 0);
    }
  }

  FileStream& Stream() override { return stream_; }

  bool Replaces(const FileState& state) override {
    return replaced_ && replaced_->st_dev == state.volume && replaced_->st_ino == state.index;
  }

  void Commit() override {
    const int folder = place_.folder.Get();
    if (kind_ != CopyKind::kInPlace)
      TakeOverOwnerAndMode();
    stream_.Flush();
    if (kind_ == CopyKind::kUnnamed) {
      temporary_name_ = TemporaryName(static_cast<std::uint32_t>(::getpid()), 0);
      const TemporaryNameGuard::HoldSignals held;
      guard_.emplace(folder, temporary_name_);
      if (!LinkUnnamed(folder))
        throw FileCreateError(path_, SystemErrorText(errno));
    }
    if (kind_ != CopyKind::kInPlace &&
        ::renameat(folder, temporary_name_.c_str(), folder, place_.name.c_str()) != 0) {
      const int error = errno;
      ::unlinkat(folder, temporary_name_.c_str(), 0);
      throw FileCreateError(path_, SystemErrorText(error));
    }
    committed_ = true;
    guard_.reset();
    // The new name on the disk too. A folder that cannot be synced (not opened for reading, or
    // a file system without the request) is left to the system.
    if (kind_ != CopyKind::kInPlace && ::fsync(folder) != 0 && errno != EBADF && errno != EINVAL)
      throw StreamWriteError();
  }

 private:
  // The replaced file's owner and group where the caller may give them, and its permissions; a
  // new file gets 0666 less the process's mask. Until now the copy was readable by its creator
  // only.
  void TakeOverOwnerAndMode() {
    const int fd = stream_.Descriptor();
    mode_t mode = 0;
    if (replaced_) {
      if (replaced_->st_uid != ::geteuid() || replaced_->st_gid != ::getegid()) {
        if (::fchown(fd, replaced_->st_uid, replaced_->st_gid) != 0)
          ::fchown(fd, static_cast<uid_t>(-1), replaced_->st_gid);
      }
      mode = replaced_->st_mode & 07777;
    } else {
      const mode_t mask = ::umask(0);
      ::umask(mask);
      mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0)
      throw FileCreateError(path_, SystemErrorText(errno));
  }

  // Gives the unnamed copy its temporary name: through its entry in /proc (no privilege needed),
  // else by the descriptor itself.
  bool LinkUnnamed(int folder) {
    const std::string proc_entry = "/proc/self/fd/" + std::to_string(stream_.Descriptor());
    ::unlinkat(folder, temporary_name_.c_str(), 0);  // left by an earlier run of this process id
    return ::linkat(AT_FDCWD, proc_entry.c_str(), folder, temporary_name_.c_str(),
                    AT_SYMLINK_FOLLOW) == 0 ||
           ::linkat(stream_.Descriptor(), "", folder, temporary_name_.c_str(), AT_EMPTY_PATH) == 0;
  }

  std::string path_;
  OutputPlace place_;
  std::optional<struct stat> replaced_;
  CopyKind kind_;
  PosixFileStream stream_;
  std::string temporary_name_;
  std::optional<TemporaryNameGuard> guard_;
  bool committed_ = false;
};

constexpr int kMaxLinksFollowed = 40;

// What an ordinary open follows: in a folder that everybody may write and that keeps others'
// files (the sticky bit, as /tmp), only a link of the caller or of the folder's owner.
bool MayFollowLink(const struct stat& link, const struct stat& folder) {
  const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
  return !shared || link.st_uid == ::geteuid() || link.st_uid == folder.st_uid;
}

HeldDescriptor OpenFolder(int base, const std::string& folder, const std::string& path) {
  int fd = ::openat(base, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 && errno == EACCES)  // a folder that may be passed through but not listed
    fd = ::openat(base, folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    throw FileCreateError(path, SystemErrorText(errno));
  return HeldDescriptor(fd);
}

// The folder of path (relative to base; "." when path names none), held open, and path's last
// name. Failures name output.
OutputPlace OpenPlace(int base, const std::string& path, const std::string& output) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return {OpenFolder(base, std::string("."), output), path};
  return {OpenFolder(base, slash == 0 ? std::string("/") : path.substr(0, slash), output),
          path.substr(slash + 1)};
}

// The folder the output lies in, and its name there: a symbolic link at the output's name (and
// the links it leads to) followed where that is safe, so that the copy replaces the file the
// link names and the link stays.
OutputPlace ResolveOutput(const std::string& path) {
  OutputPlace place = OpenPlace(AT_FDCWD, path, path);
  for (int followed = 0;; ++followed) {
    if (place.name.empty() || place.name == "." || place.name == "..")
      throw FileCreateError(path, SystemErrorText(EISDIR));
    struct stat link {};
    if (::fstatat(place.folder.Get(), place.name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISLNK(link.st_mode)) {
      return place;
    }
    struct stat shared {};
    if (followed == kMaxLinksFollowed || ::fstat(place.folder.Get(), &shared) != 0)
      throw FileCreateError(path, SystemErrorText(ELOOP));
    if (!MayFollowLink(link, shared)) {
      throw FileCreateError(
          path, "A symbolic link that another user owns in a shared folder is not followed");
    }
    std::string target(static_cast<std::size_t>(link.st_size) + 1, '\0');
    const ssize_t n =
        ::readlinkat(place.folder.Get(), place.name.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= target.size())
      throw FileCreateError(path, SystemErrorText(n < 0 ? errno : ELOOP));
    target.resize(static_cast<std::size_t>(n));
    place = OpenPlace(place.folder.Get(), target, path);
  }
}

// True when the file is the root of a mount of its own (a bind-mounted file): no rename can
// replace it.
bool IsMountPoint(int folder, const std::string& name) {
  struct statx file {};
  struct statx parent {};
  if (::statx(folder, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &file) != 0 ||
      ::statx(folder, "", AT_EMPTY_PATH, STATX_MNT_ID, &parent) != 0) {
    return false;
  }
  if ((file.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
      (file.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0) {
    return true;
  }
  return file.stx_dev_major != parent.stx_dev_major || file.stx_dev_minor != parent.stx_dev_minor ||
         ((file.stx_mask & parent.stx_mask & STATX_MNT_ID) != 0 &&
          file.stx_mnt_id != parent.stx_mnt_id);
}

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

  std::unique_ptr<OutputReplacement> BeginOutput(const std::string& path) override {
    if (path.empty() || HasZeroByte(path))
      throw FileCreateError(path, SystemErrorText(EINVAL));
    OutputPlace place = ResolveOutput(path);
    const int folder = place.folder.Get();
    const char* name = place.name.c_str();
    std::optional<struct stat> replaced;
    struct stat st {};
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      if (!S_ISREG(st.st_mode))
        throw FileCreateError(path, "Not a regular file");
      // A file its owner may not write stays as it is, as an overwrite in place would.
      if (::faccessat(folder, name, W_OK, AT_EACCESS) != 0)
        throw FileCreateError(path, SystemErrorText(errno));
      replaced = st;
    }
    if (replaced && IsMountPoint(folder, place.name))
      return InPlace(path, std::move(place), replaced);
    int fd = ::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
      return std::make_unique<PosixOutputReplacement>(path, std::move(place), replaced,
                                                      CopyKind::kUnnamed, fd, std::string());
    }
    int error = errno;
    if (error == EOPNOTSUPP || error == EISDIR || error == EINVAL) {
      const auto process_id = static_cast<std::uint32_t>(::getpid());
      error = EEXIST;
      for (int attempt = 1; attempt <= kTemporaryNameAttempts && error == EEXIST; ++attempt) {
        const TemporaryNameGuard::HoldSignals held;
        std::string candidate = TemporaryName(process_id, attempt);
        fd = ::openat(folder, candidate.c_str(), O_CLOEXEC | O_RDWR | O_CREAT | O_EXCL, 0600);
        if (fd >= 0) {
          return std::make_unique<PosixOutputReplacement>(
              path, std::move(place), replaced, CopyKind::kNamed, fd, std::move(candidate));
        }
        error = errno;
      }
    }
    // A writable file in a folder the caller may not write is written in place.
    if (replaced && (error == EACCES || error == EPERM))
      return InPlace(path, std::move(place), replaced);
    throw FileCreateError(path, SystemErrorText(error));
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

  static std::unique_ptr<OutputReplacement> InPlace(const std::string& path, OutputPlace place,
                                                    std::optional<struct stat> replaced) {
    const int fd = ::openat(place.folder.Get(), place.name.c_str(),
                            O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
      throw FileCreateError(path, SystemErrorText(errno));
    return std::make_unique<PosixOutputReplacement>(path, std::move(place), replaced,
                                                    CopyKind::kInPlace, fd, std::string());
  }
};

}  // namespace

FileSystem& PlatformFileSystem() {
  static PosixFileSystem instance;
  return instance;
}

}  // namespace kv
