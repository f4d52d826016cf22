// POSIX backend of the file layer. Linux has no mandatory sharing modes, so "other writers
// denied" cannot be enforced here; the streams are plain descriptors, and a source is checked
// for changes instead. An output is resolved one name at a time and replaced relative to its
// folder, held open from the start; where no rename can replace it, it is overwritten in place
// from a complete copy, with its earlier content kept until the overwrite is on the disk.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "base/FailureMessages.h"
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

// The signals whose default action ends the process, that a handler can catch and that others
// send (not the faults of the program's own code), the real-time ones included: before the
// process ends, the writer's named files are removed, and an output overwritten in place gets its
// earlier content back.
const std::vector<int>& EndingSignals() {
  static const std::vector<int> signals = [] {
    std::vector<int> list = {SIGINT,    SIGTERM, SIGHUP,  SIGQUIT, SIGXFSZ,
                             SIGXCPU,   SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2,
                             SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSTKFLT};
    for (int real_time = SIGRTMIN; real_time <= SIGRTMAX; ++real_time)
      list.push_back(real_time);
    return list;
  }();
  return signals;
}

sigset_t EndingSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal_number : EndingSignals())
    sigaddset(&set, signal_number);
  return set;
}

// Holds the ending signals back on this thread (the only one while files are created, linked or
// overwritten in place); they arrive when the object goes.
class HeldSignals {
 public:
  HeldSignals() {
    const sigset_t held = EndingSignalSet();
    ::pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~HeldSignals() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;

  // Whether one of them was sent meanwhile that will end the process: one the process ignores (as
  // SIGHUP under nohup) is dropped when it is let through, and stops nothing.
  static bool Arrived() {
    sigset_t pending;
    sigemptyset(&pending);
    ::sigpending(&pending);
    for (const int signal_number : EndingSignals()) {
      struct sigaction action {};
      if (sigismember(&pending, signal_number) == 1 &&
          (::sigaction(signal_number, nullptr, &action) != 0 || action.sa_handler != SIG_IGN)) {
        return true;
      }
    }
    return false;
  }

 private:
  sigset_t previous_;
};

// One name a signal's handler removes: its folder (-1 when unused) and the name in it.
struct NameGuardSlot {
  std::atomic<int> folder = -1;
  char name[64] = {};
};

// A name of the writer's own in a folder, for a signal that ends the process while it exists:
// the handler removes it (with calls that are safe in a handler) and lets the signal end the
// process as it would have. Signals the process ignores stay ignored. Armed only while the
// ending signals are held and before the name is created exclusively, so that the handler never
// removes a file that another process made.
class NameGuard {
 public:
  NameGuard(int folder, const std::string& name) {
    for (slot_ = 0; slot_ < kSlots && slots_[slot_].folder.load() >= 0; ++slot_) {
    }
    if (slot_ == kSlots)
      return;  // never: a writer holds at most two names at once
    std::snprintf(slots_[slot_].name, sizeof slots_[slot_].name, "%s", name.c_str());
    slots_[slot_].folder.store(folder);
    if (armed_++ == 0)
      Install();
  }
  ~NameGuard() {
    if (slot_ == kSlots)
      return;
    slots_[slot_].folder.store(-1);
    if (--armed_ == 0)
      Uninstall();
  }
  NameGuard(const NameGuard&) = delete;
  NameGuard& operator=(const NameGuard&) = delete;

 private:
  static constexpr int kSlots = 4;

  static void Install() {
    for (const int signal_number : EndingSignals()) {
      struct sigaction action {};
      action.sa_handler = RemoveAndEnd;
      sigemptyset(&action.sa_mask);
      ::sigaction(signal_number, nullptr, &previous_[signal_number]);
      if (previous_[signal_number].sa_handler != SIG_IGN)
        ::sigaction(signal_number, &action, nullptr);
    }
  }
  static void Uninstall() {
    for (const int signal_number : EndingSignals())
      ::sigaction(signal_number, &previous_[signal_number], nullptr);
  }
  static void RemoveAndEnd(int signal_number) {
    for (NameGuardSlot& slot : slots_) {
      const int folder = slot.folder.load();
      if (folder >= 0)
        ::unlinkat(folder, slot.name, 0);
    }
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);  // delivered when the handler returns
  }

  static inline NameGuardSlot slots_[kSlots];
  static inline int armed_ = 0;
  static inline struct sigaction previous_[NSIG] {};  // by signal number
  int slot_ = kSlots;
};

// A part of a temporary name that no other process, in this PID namespace or another, can
// predict.
std::uint32_t RandomNamePart() {
  std::uint32_t value = 0;
  if (::getrandom(&value, sizeof value, GRND_NONBLOCK) == sizeof value)
    return value;
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  static std::atomic<std::uint32_t> counter = 0;
  return static_cast<std::uint32_t>(now.tv_nsec) ^ (++counter * 2654435761u);
}

// Puts a folder's entries on the disk. Returns false with errno set when the system refuses (a
// file system that cannot sync folders gives EINVAL).
bool SyncFolder(int folder) {
  const HeldDescriptor readable(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return readable.Get() >= 0 && ::fsync(readable.Get()) == 0;
}

// A file of the writer's own in a folder, readable by its creator only: without a name where the
// file system allows, else under a fresh temporary name that is removed with the object or by a
// signal that ends the process.
class PrivateFile {
 public:
  // Fails with errno set when the folder takes no new file.
  static std::unique_ptr<PrivateFile> Create(int folder) {
    const int fd = ::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
      return std::unique_ptr<PrivateFile>(new PrivateFile(folder, fd));
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
      return nullptr;
    auto file = std::unique_ptr<PrivateFile>(new PrivateFile(folder, -1));
    const bool created = file->TakeName([&](const char* name) {
      const int fd = ::openat(folder, name, O_CLOEXEC | O_RDWR | O_CREAT | O_EXCL, 0600);
      if (fd >= 0)
        file->stream_.emplace(fd);
      return fd >= 0;
    });
    if (!created)
      return nullptr;
    return file;
  }
  ~PrivateFile() {
    if (!name_.empty())
      ::unlinkat(folder_, name_.c_str(), 0);
  }
  PrivateFile(const PrivateFile&) = delete;
  PrivateFile& operator=(const PrivateFile&) = delete;

  PosixFileStream& Stream() { return *stream_; }
  int Descriptor() const { return stream_->Descriptor(); }
  // The file's name in its folder: given here to a file without one. Fails with errno set.
  bool Name(std::string& name) {
    if (name_.empty() && !TakeName([&](const char* candidate) { return LinkAs(candidate); }))
      return false;
    name = name_;
    return true;
  }
  // Keeps the file for good, flushed, under "<base>.old-<random>" in its folder (created
  // exclusively), else under its temporary name. Returns the folder's path and the name, or an
  // empty string (errno set) when the file could not be named.
  std::string KeepAs(const std::string& base) {
    std::string kept;
    for (int attempt = 0; attempt < kTemporaryNameAttempts && kept.empty(); ++attempt) {
      char suffix[16];
      std::snprintf(suffix, sizeof suffix, ".old-%08x", RandomNamePart());
      if (LinkAs((base + suffix).c_str()))
        kept = base + suffix;
      else if (errno != EEXIST)
        break;
    }
    if (!kept.empty() && !name_.empty())
      ::unlinkat(folder_, name_.c_str(), 0);
    else if (kept.empty() && !Name(kept))
      return {};
    Release();
    ::fdatasync(Descriptor());
    SyncFolder(folder_);
    char folder[PATH_MAX] = {};
    const std::string entry = "/proc/self/fd/" + std::to_string(folder_);
    const ssize_t n = ::readlink(entry.c_str(), folder, sizeof folder - 1);
    return n > 0 && n < ssize_t(sizeof folder - 1)
               ? std::string(folder, std::size_t(n)) + "/" + kept
               : kept;
  }
  // The name now belongs to the output: nothing is removed.
  void Release() {
    guard_.reset();
    name_.clear();
  }

 private:
  PrivateFile(int folder, int fd) : folder_(folder) {
    if (fd >= 0)
      stream_.emplace(fd);
  }

  // Links the file under a further name in its folder, which fails with EEXIST where that is
  // taken: a file without a name through its entry in /proc, else by the descriptor itself.
  bool LinkAs(const char* name) {
    if (!name_.empty())
      return ::linkat(folder_, name_.c_str(), folder_, name, 0) == 0;
    const std::string entry = "/proc/self/fd/" + std::to_string(Descriptor());
    return ::linkat(AT_FDCWD, entry.c_str(), folder_, name, AT_SYMLINK_FOLLOW) == 0 ||
           (errno != EEXIST && ::linkat(Descriptor(), "", folder_, name, AT_EMPTY_PATH) == 0);
  }

  // Gives the file a fresh name with create, which makes it exclusively (false with errno EEXIST
  // when that name is taken).
  template <typename MakeName>
  bool TakeName(MakeName create) {
    const auto process_id = static_cast<std::uint32_t>(::getpid());
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
      const std::string candidate = TemporaryName(process_id, RandomNamePart());
      const HeldSignals held;
      guard_.emplace(folder_, candidate);
      if (create(candidate.c_str())) {
        name_ = candidate;
        return true;
      }
      const int error = errno;
      guard_.reset();
      errno = error;
      if (error != EEXIST)
        return false;
    }
    return false;
  }

  int folder_;
  std::optional<PosixFileStream> stream_;
  std::string name_;
  std::optional<NameGuard> guard_;
};

// Copies count bytes from one descriptor's offset to another's: the system's copy where it
// works, else through a buffer. Returns 0, or the error that stopped it.
int CopyRange(int from, std::int64_t from_offset, int to, std::int64_t to_offset,
              std::int64_t count) {
  loff_t in = from_offset;
  loff_t out = to_offset;
  while (count > 0) {
    const ssize_t n = ::copy_file_range(from, &in, to, &out, static_cast<std::size_t>(count), 0);
    if (n > 0) {
      count -= n;
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    if (n == 0)
      return EIO;  // the source ended early
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
      return errno;
    break;
  }
  std::vector<char> block(1 << 20);
  while (count > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(count, 1 << 20));
    const ssize_t got = ::pread(from, block.data(), want, in);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return got < 0 ? errno : EIO;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put =
          ::pwrite(to, block.data() + done, static_cast<std::size_t>(got - done), out + done);
      if (put < 0 && errno == EINTR)
        continue;
      if (put <= 0)
        return put < 0 ? errno : ENOSPC;
      done += put;
    }
    in += got;
    out += got;
    count -= got;
  }
  return 0;
}

// Reads count bytes from offset, fewer only at the end of the file (the rest of buffer then
// zeros). Returns 0, or the error that stopped it.
int ReadFullyAt(int fd, char* buffer, std::size_t count, std::int64_t offset) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t got = ::pread(fd, buffer + done, count - done, offset + std::int64_t(done));
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      return errno;
    if (got == 0)
      break;
    done += static_cast<std::size_t>(got);
  }
  std::fill(buffer + done, buffer + count, '\0');
  return 0;
}

// Puts the first count bytes of kept back over output, writing only the pages that differ: those
// an overwrite never reached stay as they are, so that the holes of a sparse output need no space
// on a disk that has filled up. Returns 0, or the error that stopped it.
int RestorePages(int kept, int output, std::int64_t count) {
  constexpr std::size_t kBlock = 1 << 20;
  constexpr std::size_t kPage = 4096;
  std::vector<char> wanted(kBlock);
  std::vector<char> found(kBlock);
  for (std::int64_t offset = 0; offset < count; offset += kBlock) {
    const auto size = static_cast<std::size_t>(std::min<std::int64_t>(count - offset, kBlock));
    if (const int error = ReadFullyAt(kept, wanted.data(), size, offset))
      return error;
    if (const int error = ReadFullyAt(output, found.data(), size, offset))
      return error;
    for (std::size_t page = 0; page < size; page += kPage) {
      const std::size_t length = std::min(kPage, size - page);
      if (std::memcmp(wanted.data() + page, found.data() + page, length) == 0)
        continue;
      for (std::size_t done = 0; done < length;) {
        const ssize_t put = ::pwrite(output, wanted.data() + page + done, length - done,
                                     offset + std::int64_t(page + done));
        if (put < 0 && errno == EINTR)
          continue;
        if (put <= 0)
          return put < 0 ? errno : ENOSPC;
        done += static_cast<std::size_t>(put);
      }
    }
  }
  return 0;
}

// An output's folder, held open, and the output's name in it.
struct OutputPlace {
  HeldDescriptor folder;
  std::string name;
};

// Where everybody may add files and only owners may remove them (the sticky bit, as /tmp), an
// entry that neither the caller nor the folder's owner owns is another user's to change.
bool IsOtherUsersEntry(const struct stat& entry, const struct stat& folder) {
  const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
  return shared && entry.st_uid != ::geteuid() && entry.st_uid != folder.st_uid;
}

HeldDescriptor OpenFolder(int base, const std::string& folder, const std::string& path) {
  int fd = ::openat(base, folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && errno == EACCES)  // a folder that may be passed through but not listed
    fd = ::openat(base, folder.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0)
    throw FileCreateError(path, SystemErrorText(errno == ELOOP ? ENOTDIR : errno));
  return HeldDescriptor(fd);
}

struct stat StatOf(int fd, const std::string& path) {
  struct stat st {};
  if (::fstat(fd, &st) != 0)
    throw FileCreateError(path, SystemErrorText(errno));
  return st;
}

constexpr int kMaxLinksFollowed = 40;
constexpr const char* kOtherUsersLink = FailurePattern(FailureMessage::kOtherUsersLink);
constexpr const char* kOtherUsersFolder = FailurePattern(FailureMessage::kOtherUsersFolder);
constexpr const char* kOtherUsersFile = FailurePattern(FailureMessage::kOtherUsersFile);

// Puts the names of path in front of the names still to walk; an absolute path starts again at
// the root.
void PushNames(const std::string& path, std::deque<std::string>& names, HeldDescriptor& folder,
               const std::string& output) {
  std::deque<std::string> added;
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos)
      end = path.size();
    if (end > start)
      added.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  // A trailing slash asks for a folder.
  if (path.back() == '/' && names.empty())
    added.emplace_back(".");
  names.insert(names.begin(), added.begin(), added.end());
  if (path.front() == '/')
    folder = OpenFolder(AT_FDCWD, "/", output);
}

// The folder the output lies in, and its name there. Every name of the path is walked from the
// start, one folder at a time: symbolic links, in the folders and at the output's name, are
// followed (so that the copy replaces the file a link names and the link stays), except where
// another user put one in a shared sticky folder; such a folder of another user's is not entered
// either.
OutputPlace ResolveOutput(const std::string& path) {
  HeldDescriptor folder = OpenFolder(AT_FDCWD, ".", path);
  std::deque<std::string> names;
  PushNames(path, names, folder, path);
  for (int followed = 0;;) {
    const std::string name = names.front();
    names.pop_front();
    const bool last = names.empty();
    if (last && (name == "." || name == ".."))
      throw FileCreateError(path, SystemErrorText(EISDIR));
    if (name == ".")
      continue;
    if (name == "..") {
      folder = OpenFolder(folder.Get(), name, path);
      continue;
    }
    struct stat entry {};
    if (::fstatat(folder.Get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT && last)
        return {std::move(folder), name};
      throw FileCreateError(path, SystemErrorText(errno));
    }
    if (S_ISLNK(entry.st_mode)) {
      if (IsOtherUsersEntry(entry, StatOf(folder.Get(), path)))
        throw FileCreateError(path, kOtherUsersLink);
      if (++followed > kMaxLinksFollowed)
        throw FileCreateError(path, SystemErrorText(ELOOP));
      std::string target(static_cast<std::size_t>(entry.st_size) + 1, '\0');
      const ssize_t n = ::readlinkat(folder.Get(), name.c_str(), target.data(), target.size());
      if (n <= 0 || static_cast<std::size_t>(n) >= target.size())
        throw FileCreateError(path, SystemErrorText(n < 0 ? errno : ELOOP));
      target.resize(static_cast<std::size_t>(n));
      PushNames(target, names, folder, path);
      continue;
    }
    if (last)
      return {std::move(folder), name};
    HeldDescriptor next = OpenFolder(folder.Get(), name, path);
    if (IsOtherUsersEntry(StatOf(next.Get(), path), StatOf(folder.Get(), path)))
      throw FileCreateError(path, kOtherUsersFolder);
    folder = std::move(next);
  }
}

// The mount a file belongs to: statx's mount id, else the one /proc/self/fdinfo shows for a
// descriptor of it.
std::optional<std::uint64_t> MountId(int folder, const char* name) {
  struct statx st {};
  if (::statx(folder, name, AT_SYMLINK_NOFOLLOW | AT_EMPTY_PATH, STATX_MNT_ID, &st) == 0 &&
      (st.stx_mask & STATX_MNT_ID) != 0) {
    return st.stx_mnt_id;
  }
  const HeldDescriptor fd(
      ::openat(folder, *name != '\0' ? name : ".", O_PATH | O_NOFOLLOW | O_CLOEXEC));
  if (fd.Get() < 0)
    return std::nullopt;
  const HeldDescriptor info(
      ::open(("/proc/self/fdinfo/" + std::to_string(fd.Get())).c_str(), O_RDONLY | O_CLOEXEC));
  char text[512] = {};
  if (info.Get() < 0 || ::read(info.Get(), text, sizeof text - 1) <= 0)
    return std::nullopt;
  const char* line = std::strstr(text, "mnt_id:");
  if (line == nullptr)
    return std::nullopt;
  return std::strtoull(line + 7, nullptr, 10);
}

// True when the file is the root of a mount of its own (a bind-mounted file): no rename can
// replace it. Told by the mount ids: devices differ for the files of one overlay mount too. Where
// neither tells, a rename that fails with EBUSY does.
bool IsMountPoint(int folder, const std::string& name) {
  struct statx file {};
  if (::statx(folder, name.c_str(), AT_SYMLINK_NOFOLLOW, 0, &file) == 0 &&
      (file.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0) {
    return (file.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
  }
  const std::optional<std::uint64_t> own = MountId(folder, name.c_str());
  const std::optional<std::uint64_t> parent = MountId(folder, "");
  return own && parent && *own != parent;
}

// Locks a file for this run's overwrite alone. Where another program holds a lock on it, waits
// for it at most 10 seconds, then gives up (false). A file system without locks is written
// without one.
bool LockForOverwrite(int fd) {
  constexpr int kStepMilliseconds = 50;
  for (int waited = 0;; waited += kStepMilliseconds) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 || (errno != EWOULDBLOCK && errno != EINTR))
      return true;
    if (waited >= 10000)
      return false;
    const timespec step{0, kStepMilliseconds * 1000000L};
    ::nanosleep(&step, nullptr);
  }
}

// The extended attributes the copy takes over from the file it replaces: the user's, the trusted
// ones and the access lists. Security labels are given by the system's policy, and capabilities
// are never carried over (a write would drop them too).
bool IsCarriedAttribute(std::string_view name) {
  return name.starts_with("user.") || name.starts_with("trusted.") ||
         name.starts_with("system.posix_acl_");
}

// The carried attributes of an open file (also one opened with O_PATH, through /proc), as name
// and value pairs. False with errno set when they cannot be read.
bool ReadAttributes(int fd, std::vector<std::pair<std::string, std::string>>& attributes) {
  const std::string entry = "/proc/self/fd/" + std::to_string(fd);
  const auto list = [&](char* buffer, std::size_t size) {
    const ssize_t n = ::flistxattr(fd, buffer, size);
    return n < 0 && errno == EBADF ? ::listxattr(entry.c_str(), buffer, size) : n;
  };
  const auto get = [&](const char* name, void* buffer, std::size_t size) {
    const ssize_t n = ::fgetxattr(fd, name, buffer, size);
    return n < 0 && errno == EBADF ? ::getxattr(entry.c_str(), name, buffer, size) : n;
  };
  ssize_t size = list(nullptr, 0);
  if (size < 0)
    return errno == ENOTSUP;
  std::string names(static_cast<std::size_t>(size), '\0');
  size = list(names.data(), names.size());
  if (size < 0)
    return false;
  names.resize(static_cast<std::size_t>(size));
  for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
    const std::string name = names.c_str() + at;
    if (!IsCarriedAttribute(name))
      continue;
    const ssize_t length = get(name.c_str(), nullptr, 0);
    std::string value(static_cast<std::size_t>(std::max<ssize_t>(length, 0)), '\0');
    if (length < 0 || get(name.c_str(), value.data(), value.size()) != length)
      return false;
    attributes.emplace_back(name, std::move(value));
  }
  return true;
}

// What the replaced output was: its state when the run began, and a descriptor of it (for its
// attributes, and to write it in place).
struct ReplacedOutput {
  struct stat st {};
  HeldDescriptor fd;
};

// Where the output's copy is built when the output itself has to be written in place: the
// output's folder where the caller may add files there (a mount point's), else the folder for
// temporary files.
std::unique_ptr<PrivateFile> CreateCopyBesideOrInTemporary(int folder, HeldDescriptor& temporary,
                                                           const std::string& path) {
  if (auto copy = PrivateFile::Create(folder))
    return copy;
  const char* name = std::getenv("TMPDIR");
  temporary = OpenFolder(AT_FDCWD, name != nullptr && *name == '/' ? name : "/tmp", path);
  auto copy = PrivateFile::Create(temporary.Get());
  if (!copy)
    throw FileCreateError(path, SystemErrorText(errno));
  return copy;
}

class PosixOutputReplacement final : public OutputReplacement {
 public:
  // Where no rename can replace the output (a mount point), or its folder takes no new file from
  // the caller while the output may be written, the copy is built elsewhere and written over the
  // output in place.
  PosixOutputReplacement(std::string path, OutputPlace place,
                         std::optional<ReplacedOutput> replaced, bool mount_point)
      : path_(std::move(path)), place_(std::move(place)), replaced_(std::move(replaced)) {
    if (!mount_point) {
      copy_ = PrivateFile::Create(place_.folder.Get());
      if (!copy_ && (!replaced_ || (errno != EACCES && errno != EPERM)))
        throw FileCreateError(path_, SystemErrorText(errno));
    }
    if (!copy_) {
      OpenForOverwrite();
      copy_ = CreateCopyBesideOrInTemporary(place_.folder.Get(), temporary_folder_, path_);
    }
  }

  FileStream& Stream() override { return copy_->Stream(); }

  bool Replaces(const FileState& state) override {
    return replaced_ && replaced_->st.st_dev == state.volume && replaced_->st.st_ino == state.index;
  }

  std::string Warning() override { return warning_; }

  void Commit() override {
    if (output_.Get() < 0)
      TakeOverAttributes();
    copy_->Stream().Flush();
    if (output_.Get() >= 0)
      return OverwriteInPlace();
    const int folder = place_.folder.Get();
    std::string name;
    if (!copy_->Name(name))
      throw FileCreateError(path_, SystemErrorText(errno));
    if (::renameat(folder, name.c_str(), folder, place_.name.c_str()) != 0) {
      // A mount point no mount id told of.
      if (errno != EBUSY || !replaced_)
        throw FileCreateError(path_, SystemErrorText(errno));
      OpenForOverwrite();
      return OverwriteInPlace();
    }
    copy_->Release();
    // The new name on the disk too. The output is replaced by now, so a folder that cannot be
    // synced is reported, not failed.
    if (!SyncFolder(folder) && errno != EINVAL) {
      warning_ =
          FailureMessageText(FailureMessage::kFolderNotOnDisk, {path_, SystemErrorText(errno)});
    }
  }

 private:
  // The replaced file's owner and group where the caller may give them, its permissions (less
  // setuid and setgid where the owner or the group could not be kept) and its access lists and
  // extended attributes; a new file gets 0666 less the process's mask. Until now the copy was
  // readable by its creator only.
  void TakeOverAttributes() {
    const int fd = copy_->Descriptor();
    mode_t mode = 0;
    if (!replaced_) {
      const mode_t mask = ::umask(0);
      ::umask(mask);
      mode = 0666 & ~mask;
    } else {
      const struct stat& old = replaced_->st;
      if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
        if (::fchown(fd, old.st_uid, old.st_gid) != 0)
          ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
      }
      const struct stat now = StatOf(fd, path_);
      mode = old.st_mode & 07777;
      if (now.st_uid != old.st_uid)
        mode &= ~(S_ISUID | S_ISGID);
      if (now.st_gid != old.st_gid)
        mode &= ~S_ISGID;
    }
    if (::fchmod(fd, mode) != 0)
      throw FileCreateError(path_, SystemErrorText(errno));
    if (!replaced_)
      return;
    std::vector<std::pair<std::string, std::string>> attributes;
    if (!ReadAttributes(replaced_->fd.Get(), attributes))
      throw FileCreateError(
          path_, FailureMessageText(FailureMessage::kAttributesNotKept, {SystemErrorText(errno)}));
    for (const auto& [name, value] : attributes) {
      if (::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0)
        throw FileCreateError(path_, FailureMessageText(FailureMessage::kAttributesNotKept,
                                                        {SystemErrorText(errno)}));
    }
  }

  // The output, opened for writing; it must still be the file the run began with.
  void OpenForOverwrite() {
    output_ = HeldDescriptor(::openat(place_.folder.Get(), place_.name.c_str(),
                                      O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (output_.Get() < 0)
      throw FileCreateError(path_, SystemErrorText(errno));
    const struct stat now = StatOf(output_.Get(), path_);
    if (now.st_dev != replaced_->st.st_dev || now.st_ino != replaced_->st.st_ino)
      throw FileCreateError(path_, SystemErrorText(ESTALE));
  }

  // Overwrites the output with the complete, flushed copy. Its earlier content is kept aside
  // first, and put back when the overwrite fails or an ending signal arrives before it is on the
  // disk; the signal then ends the process. Where it cannot be put back, the kept content stays
  // under a name of its own, which the failure names. Another run overwriting the same file waits
  // until this one is done: two overwrites at once would mix their bytes.
  void OverwriteInPlace() {
    const int output = output_.Get();
    if (!LockForOverwrite(output))
      throw FileCreateError(path_, FailurePattern(FailureMessage::kOutputLocked));
    const struct stat old = StatOf(output, path_);
    const std::int64_t size = copy_->Stream().Size();
    HeldDescriptor temporary;
    const auto kept = CreateCopyBesideOrInTemporary(
        temporary_folder_.Get() >= 0 ? temporary_folder_.Get() : place_.folder.Get(), temporary,
        path_);
    if (const int error = CopyRange(output, 0, kept->Descriptor(), 0, old.st_size))
      throw FileCreateError(path_, SystemErrorText(error));
    const HeldSignals held;
    int error = 0;
    constexpr std::int64_t kStep = 8 * 1048576;
    for (std::int64_t offset = 0; offset < size && error == 0; offset += kStep) {
      error = HeldSignals::Arrived() ? EINTR
                                     : CopyRange(copy_->Descriptor(), offset, output, offset,
                                                 std::min(kStep, size - offset));
    }
    if (error == 0 && (::ftruncate(output, size) != 0 || ::fdatasync(output) != 0))
      error = errno;
    if (error == 0 && HeldSignals::Arrived())
      error = EINTR;
    if (error == 0)
      return;
    const timespec times[2] = {old.st_atim, old.st_mtim};
    int restore_error = RestorePages(kept->Descriptor(), output, old.st_size);
    if (restore_error == 0 && (::ftruncate(output, old.st_size) != 0 || ::fdatasync(output) != 0 ||
                               ::futimens(output, times) != 0)) {
      restore_error = errno;
    }
    if (restore_error != 0) {
      const std::string kept_at = kept->KeepAs(place_.name);
      if (kept_at.empty()) {
        throw FileCreateError(
            path_, FailureMessageText(FailureMessage::kNotRestored,
                                      {SystemErrorText(error), SystemErrorText(restore_error)}));
      }
      const RuntimeError failure = FileCreateError(
          path_,
          FailureMessageText(FailureMessage::kNotRestoredKept,
                             {SystemErrorText(error), SystemErrorText(restore_error), kept_at}));
      // An ending signal held back meanwhile ends the process as soon as it is let through, before
      // any caller could say where the earlier content is kept: so it is said here.
      if (HeldSignals::Arrived()) {
        const std::string line = failure.Message() + "\n";
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
      }
      throw failure;
    }
    throw FileCreateError(path_, SystemErrorText(error));
  }

  std::string path_;
  OutputPlace place_;
  std::optional<ReplacedOutput> replaced_;
  HeldDescriptor output_;  // open where the output is written in place
  HeldDescriptor temporary_folder_;
  std::unique_ptr<PrivateFile> copy_;
  std::string warning_;
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
      throw FileOpenError(path, FailurePattern(FailureMessage::kPipeSilent));
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
    std::optional<ReplacedOutput> replaced;
    struct stat st {};
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      if (!S_ISREG(st.st_mode))
        throw FileCreateError(path, FailurePattern(FailureMessage::kNotARegularFile));
      // Held for its attributes; opened without reading where the caller may only write it.
      HeldDescriptor fd(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
      if (fd.Get() < 0)
        fd = HeldDescriptor(::openat(folder, name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
      if (fd.Get() < 0)
        throw FileCreateError(path, SystemErrorText(errno));
      st = StatOf(fd.Get(), path);
      if (!S_ISREG(st.st_mode))
        throw FileCreateError(path, FailurePattern(FailureMessage::kNotARegularFile));
      if (IsOtherUsersEntry(st, StatOf(folder, path)))
        throw FileCreateError(path, kOtherUsersFile);
      // A file its owner may not write stays as it is, as an overwrite in place would.
      if (::faccessat(folder, name, W_OK, AT_EACCESS) != 0)
        throw FileCreateError(path, SystemErrorText(errno));
      replaced = ReplacedOutput{st, std::move(fd)};
    } else if (errno != ENOENT) {
      throw FileCreateError(path, SystemErrorText(errno));
    }
    const bool mount_point = replaced && IsMountPoint(folder, place.name);
    return std::make_unique<PosixOutputReplacement>(path, std::move(place), std::move(replaced),
                                                    mount_point);
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
};

}  // namespace

FileSystem& PlatformFileSystem() {
  static PosixFileSystem instance;
  return instance;
}

}  // namespace kv
