// Windows backend of the file layer: wide-character file API behind UTF-8 byte-string paths,
// so that names with any characters and of any length work. Inputs are opened with other writers
// and deleters denied, created files exclusively. An output's copy is marked for deletion from
// its creation until it replaces the output, so that a run that ends early leaves nothing; it
// takes the output's access list before it replaces it. Where the output can only be written in
// place, the copy is built in the folder for temporary files and the earlier content kept until
// the overwrite is on the disk. A copy between two files shares their blocks where the volume
// can clone them, and otherwise goes in large blocks.
#include <windows.h>
// After windows.h:
#include <winioctl.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/FailureMessages.h"
#include "base/Owned.h"
#include "base/RuntimeError.h"
#include "base/WinText_win32.h"
#include "setupfile/FileStream.h"

namespace kv {

namespace {

// A path as the system takes it. Where its full name, lengthened by reserve characters (the
// copy's name beside it is longer than a short output name), passes the classic length limit, it
// is made absolute (and normalised, which the prefix turns off) and given the long-path prefix.
std::wstring SystemPath(const std::string& path, std::size_t reserve = 0) {
  constexpr std::size_t kShortPathLimit = MAX_PATH - 12;  // what a folder's name may reach
  const std::wstring wide = Utf8ToWide(path);
  if (wide.rfind(L"\\\\?\\", 0) == 0)
    return wide;
  std::wstring full(::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr), L'\0');
  const DWORD n =
      ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n == 0 || n >= full.size() || n + reserve < kShortPathLimit)
    return wide;
  full.resize(n);
  if (full.rfind(L"\\\\", 0) == 0)
    return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// The identity of an open file: the 128-bit one where the file system has it (ReFS, Dev Drive),
// else the volume's serial and the 64-bit index.
FileState Identity(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& info) {
  struct {
    ULONGLONG volume;
    std::uint64_t id[2];
  } id_info{};
  constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
  if (::GetFileInformationByHandleEx(handle, kFileIdInfo, &id_info, sizeof id_info))
    return {.volume = id_info.volume, .index = id_info.id[0], .index_high = id_info.id[1]};
  return {.volume = info.dwVolumeSerialNumber,
          .index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// Runs attempt until it succeeds or fails for another reason than another program holding the
// file (a virus scanner looking at a file just written): about a second in all.
template <typename Attempt>
bool RetryWhileHeld(Attempt attempt) {
  constexpr DWORD kStepMilliseconds = 50;
  for (DWORD waited = 0;; waited += kStepMilliseconds) {
    if (attempt())
      return true;
    const DWORD error = ::GetLastError();
    if (waited >= 1000 ||
        (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION &&
         error != ERROR_ACCESS_DENIED && error != ERROR_UNABLE_TO_REMOVE_REPLACED)) {
      ::SetLastError(error);
      return false;
    }
    ::Sleep(kStepMilliseconds);
  }
}

// Block cloning, by its documented codes (older SDK headers lack them).
constexpr DWORD kSupportsBlockRefcounting = 0x08000000;  // FILE_SUPPORTS_BLOCK_REFCOUNTING
constexpr DWORD kDuplicateExtentsToFile =
    CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 209, METHOD_BUFFERED, FILE_WRITE_DATA);
struct DuplicateExtentsData {
  HANDLE source;
  LARGE_INTEGER source_offset;
  LARGE_INTEGER target_offset;
  LARGE_INTEGER count;
};
// Each clone stays below the 4 GiB a single request may cover.
constexpr std::int64_t kCloneChunkSize = std::int64_t{1} << 30;
// The blocks of a copy the volume cannot clone: large, so that a file share or a slow disk sees
// few requests (the system's copy engine would want names for both files, and the copy has none
// the program may open again: it is private and marked for deletion until it replaces the output).
constexpr std::size_t kCopyBlockSize = 1048576;

// The cluster size of the volume a file lies on where that volume clones blocks, else 0.
std::int64_t CloneClusterSize(HANDLE file) {
  DWORD flags = 0;
  if (!::GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) ||
      (flags & kSupportsBlockRefcounting) == 0) {
    return 0;
  }
  std::wstring path(MAX_PATH, L'\0');
  DWORD n = ::GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()),
                                        VOLUME_NAME_GUID);
  if (n >= path.size()) {
    path.resize(n);
    n = ::GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()),
                                    VOLUME_NAME_GUID);
  }
  // "\\?\Volume{...}\folder\file": the volume's root is up to the first backslash after the prefix.
  const std::size_t root_end = n > 0 && n < path.size() ? path.find(L'\\', 4) : std::wstring::npos;
  if (root_end == std::wstring::npos)
    return 0;
  const std::wstring root = path.substr(0, root_end + 1);
  DWORD sectors_per_cluster = 0;
  DWORD bytes_per_sector = 0;
  DWORD free_clusters = 0;
  DWORD clusters = 0;
  if (!::GetDiskFreeSpaceW(root.c_str(), &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                           &clusters)) {
    return 0;
  }
  return std::int64_t{sectors_per_cluster} * bytes_per_sector;
}

class Win32FileStream final : public FileStream {
 public:
  explicit Win32FileStream(HANDLE handle) : handle_(handle) {}
  ~Win32FileStream() override { Close(); }

  void Close() {
    if (handle_ != INVALID_HANDLE_VALUE)
      ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  HANDLE Handle() const { return handle_; }
  // Whether anything was written or the size set since the stream was opened.
  bool Written() const { return written_; }

  bool IsRegularFile() override { return ::GetFileType(handle_) == FILE_TYPE_DISK; }

  std::int64_t Size() override {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle_, &size))
      throw StreamReadError();
    return size.QuadPart;
  }

  void Seek(std::int64_t position) override {
    LARGE_INTEGER target{};
    target.QuadPart = position;
    if (position < 0 || !::SetFilePointerEx(handle_, target, nullptr, FILE_BEGIN)) {
      throw StreamReadError();
    }
  }

  std::int64_t Position() override {
    LARGE_INTEGER zero{};
    LARGE_INTEGER pos{};
    if (!::SetFilePointerEx(handle_, zero, &pos, FILE_CURRENT))
      throw StreamReadError();
    return pos.QuadPart;
  }

  std::size_t Read(std::span<char> buffer) override {
    std::size_t done = 0;
    while (done < buffer.size()) {
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(buffer.size() - done, 1u << 30));
      DWORD got = 0;
      if (!::ReadFile(handle_, buffer.data() + done, want, &got, nullptr)) {
        if (::GetLastError() == ERROR_BROKEN_PIPE)
          break;  // the writer of a pipe closed it: the end of the stream
        throw StreamReadError();
      }
      if (got == 0)
        break;
      done += got;
    }
    return done;
  }

  void Write(std::span<const char> data) override {
    written_ = true;
    std::size_t done = 0;
    while (done < data.size()) {
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 30));
      DWORD put = 0;
      if (!::WriteFile(handle_, data.data() + done, want, &put, nullptr) || put == 0) {
        throw StreamWriteError();
      }
      done += put;
    }
  }

  void SetSize(std::int64_t size) override {
    written_ = true;
    const std::int64_t keep = Position();
    LARGE_INTEGER target{};
    target.QuadPart = size;
    if (size < 0 || !::SetFilePointerEx(handle_, target, nullptr, FILE_BEGIN) ||
        !::SetEndOfFile(handle_)) {
      throw StreamWriteError();
    }
    Seek(std::min(keep, size));
  }

  void Flush() override {
    if (!::FlushFileBuffers(handle_))
      throw StreamWriteError();
  }

  // Clones the whole clusters of the range where both files lie on one volume that clones blocks
  // (the copy is made sparse first where the source is), then copies what is left in large
  // blocks. Stops at the first refusal or error, which the caller's copy then reports.
  std::int64_t CopyFromBySystem(FileStream& source, std::int64_t count) override {
    auto* from = dynamic_cast<Win32FileStream*>(&source);
    if (from == nullptr || count <= 0)
      return 0;
    written_ = true;
    const std::int64_t source_at = from->Position();
    const std::int64_t target_at = Position();
    std::int64_t done = CloneFrom(*from, source_at, target_at, count);
    std::vector<char> block(static_cast<std::size_t>(
        std::min<std::int64_t>(count - done, static_cast<std::int64_t>(kCopyBlockSize))));
    while (done < count) {
      const auto want = static_cast<DWORD>(
          std::min<std::int64_t>(count - done, static_cast<std::int64_t>(block.size())));
      DWORD got = 0;
      DWORD put = 0;
      if (!::ReadFile(from->handle_, block.data(), want, &got, nullptr) || got == 0 ||
          !::WriteFile(handle_, block.data(), got, &put, nullptr) || put != got) {
        break;
      }
      done += got;
    }
    // Where a step failed half done, both positions go back to the end of what was copied.
    from->Seek(source_at + done);
    Seek(target_at + done);
    return done;
  }

  FileState State() override {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle_, &info))
      throw StreamReadError();
    FileState state = Identity(handle_, info);
    state.size =
        static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
    state.modified =
        static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                  info.ftLastWriteTime.dwLowDateTime);
    return state;
  }

 private:
  // Clones count bytes from source_at in source to target_at here; returns the bytes cloned (0
  // where the volume cannot, the positions are not on clusters or the range passes this file's
  // end, which a clone does not move). The sparse state is matched on the first call.
  std::int64_t CloneFrom(Win32FileStream& source, std::int64_t source_at, std::int64_t target_at,
                         std::int64_t count) {
    if (!clone_checked_) {
      clone_checked_ = true;
      cluster_size_ = MatchSparseState(source) ? CloneClusterSize(handle_) : 0;
    }
    const std::int64_t whole = cluster_size_ > 0 ? count / cluster_size_ * cluster_size_ : 0;
    if (whole == 0 || source_at % cluster_size_ != 0 || target_at % cluster_size_ != 0 ||
        target_at + whole > Size()) {
      return 0;
    }
    std::int64_t done = 0;
    while (done < whole) {
      DuplicateExtentsData request{};
      request.source = source.handle_;
      request.source_offset.QuadPart = source_at + done;
      request.target_offset.QuadPart = target_at + done;
      request.count.QuadPart = std::min(whole - done, kCloneChunkSize);
      DWORD returned = 0;
      if (!::DeviceIoControl(handle_, kDuplicateExtentsToFile, &request, sizeof request, nullptr, 0,
                             &returned, nullptr)) {
        cluster_size_ = 0;  // refused here (another volume, integrity settings): not asked again
        break;
      }
      done += request.count.QuadPart;
    }
    return done;
  }

  // A sparse source clones only into a sparse copy.
  bool MatchSparseState(Win32FileStream& source) {
    FILE_BASIC_INFO info{};
    if (!::GetFileInformationByHandleEx(source.handle_, FileBasicInfo, &info, sizeof info))
      return false;
    if ((info.FileAttributes & FILE_ATTRIBUTE_SPARSE_FILE) == 0)
      return true;
    DWORD returned = 0;
    return ::DeviceIoControl(handle_, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned,
                             nullptr) != FALSE;
  }

  HANDLE handle_;
  bool written_ = false;
  bool clone_checked_ = false;
  std::int64_t cluster_size_ = 0;
};

// Marks an open file to be deleted when its last handle closes, or clears the mark.
bool MarkForDeletion(HANDLE handle, bool deleted) {
  FILE_DISPOSITION_INFO info{};
  info.DeleteFile = deleted ? TRUE : FALSE;
  return ::SetFileInformationByHandle(handle, FileDispositionInfo, &info, sizeof info) != 0;
}

// The copy between the moment its deletion mark is cleared and its rename, for a console event
// (Ctrl+C, Ctrl+Break, a closed console) that ends the process there: the handler, on a thread of
// the system's, marks the copy for deletion again while its handle is open, else removes it by
// name, and lets the next handler end the process. The handle is closed through the guard, so
// that the handler never uses a closed one.
class PendingCopyGuard {
 public:
  PendingCopyGuard(const std::wstring& name, Win32FileStream& copy) : copy_(copy) {
    const std::lock_guard<std::mutex> lock(mutex_);
    name.copy(name_, std::size(name_) - 1);
    name_[std::min(name.size(), std::size(name_) - 1)] = L'\0';
    handle_ = copy.Handle();
    armed_ = true;
    ::SetConsoleCtrlHandler(RemoveOnEvent, TRUE);
  }
  ~PendingCopyGuard() {
    ::SetConsoleCtrlHandler(RemoveOnEvent, FALSE);
    const std::lock_guard<std::mutex> lock(mutex_);
    armed_ = false;
  }
  PendingCopyGuard(const PendingCopyGuard&) = delete;
  PendingCopyGuard& operator=(const PendingCopyGuard&) = delete;

  void Close() {
    const std::lock_guard<std::mutex> lock(mutex_);
    copy_.Close();
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  static BOOL WINAPI RemoveOnEvent(DWORD /*event*/) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (armed_) {
      if (handle_ != INVALID_HANDLE_VALUE)
        MarkForDeletion(handle_, true);
      else
        ::DeleteFileW(name_);
      armed_ = false;
    }
    return FALSE;
  }

  Win32FileStream& copy_;
  static inline std::mutex mutex_;
  static inline bool armed_ = false;
  static inline HANDLE handle_ = INVALID_HANDLE_VALUE;
  static inline wchar_t name_[32768] = {};
};

// A console event (Ctrl+C, a closed console) while an output is overwritten in place: the
// handler asks the overwrite to stop and waits until the earlier content is back, then lets the
// next handler end the process.
class OverwriteGuard {
 public:
  OverwriteGuard() {
    done_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    stop_ = false;
    ::SetConsoleCtrlHandler(StopOnEvent, TRUE);
  }
  ~OverwriteGuard() {
    ::SetEvent(done_);
    ::SetConsoleCtrlHandler(StopOnEvent, FALSE);
    ::CloseHandle(done_);
  }
  OverwriteGuard(const OverwriteGuard&) = delete;
  OverwriteGuard& operator=(const OverwriteGuard&) = delete;

  static bool Stopped() { return stop_; }

 private:
  static BOOL WINAPI StopOnEvent(DWORD /*event*/) {
    stop_ = true;
    ::WaitForSingleObject(done_, 30000);
    return FALSE;
  }

  static inline std::atomic<bool> stop_ = false;
  static inline HANDLE done_ = nullptr;
};

// Copies count bytes from the start of one file to the start of another, through a buffer;
// stops early when stop says so. Returns 0, or the error that stopped it.
template <typename Stop>
DWORD CopyFromStart(HANDLE from, HANDLE to, std::int64_t count, Stop stop) {
  LARGE_INTEGER zero{};
  if (!::SetFilePointerEx(from, zero, nullptr, FILE_BEGIN) ||
      !::SetFilePointerEx(to, zero, nullptr, FILE_BEGIN)) {
    return ::GetLastError();
  }
  std::string block(1 << 20, '\0');
  while (count > 0) {
    if (stop())
      return ERROR_OPERATION_ABORTED;
    const DWORD want = static_cast<DWORD>(std::min<std::int64_t>(count, 1 << 20));
    DWORD got = 0;
    if (!::ReadFile(from, block.data(), want, &got, nullptr))
      return ::GetLastError();
    if (got == 0)
      return ERROR_HANDLE_EOF;
    DWORD put = 0;
    if (!::WriteFile(to, block.data(), got, &put, nullptr))
      return ::GetLastError();
    if (put != got)
      return ERROR_DISK_FULL;
    count -= got;
  }
  return 0;
}

DWORD SetLength(HANDLE file, std::int64_t size) {
  LARGE_INTEGER target{};
  target.QuadPart = size;
  return ::SetFilePointerEx(file, target, nullptr, FILE_BEGIN) && ::SetEndOfFile(file)
             ? 0
             : ::GetLastError();
}

// A handle closed with its owner.
using OwnedHandle = OwnedPtr<void, ::CloseHandle>;

// A part of a temporary name; the names are created exclusively, so it only spreads them.
std::uint32_t RandomNamePart() {
  static std::atomic<std::uint32_t> counter = 0;
  LARGE_INTEGER now{};
  ::QueryPerformanceCounter(&now);
  return static_cast<std::uint32_t>(now.QuadPart) ^ (++counter * 2654435761u);
}

// A file of the writer's own in a folder, removed when its last handle closes unless the mark is
// cleared. Fails with the system's error.
HANDLE CreatePrivateFile(const std::wstring& folder, std::wstring& name, DWORD& error) {
  const auto process_id = static_cast<std::uint32_t>(::GetCurrentProcessId());
  error = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < kTemporaryNameAttempts &&
                        (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
       ++attempt) {
    name = folder + Utf8ToWide(TemporaryName(process_id, RandomNamePart()));
    const HANDLE handle =
        ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE | WRITE_DAC, 0, nullptr,
                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      // Where the file system has no such mark, the copy is removed by name on failure.
      MarkForDeletion(handle, true);
      return handle;
    }
    error = ::GetLastError();
  }
  return INVALID_HANDLE_VALUE;
}

// Keeps a file made by CreatePrivateFile for good, flushed and closed: renamed to
// "<base>.old-<random>" in its folder where such a name is free, else under its own name.
// Returns the file's path, or an empty one when its deletion mark could not be cleared.
std::wstring KeepPrivateFile(OwnedHandle& file, const std::wstring& name,
                             const std::wstring& base) {
  if (!MarkForDeletion(file.get(), false))
    return {};
  ::FlushFileBuffers(file.get());
  file.reset();
  const std::wstring folder = name.substr(0, name.find_last_of(L"\\/") + 1);
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    wchar_t suffix[16] = {};
    ::swprintf(suffix, std::size(suffix), L".old-%08x", RandomNamePart());
    const std::wstring kept = folder + base + suffix;
    if (::MoveFileExW(name.c_str(), kept.c_str(), MOVEFILE_WRITE_THROUGH))
      return kept;
    const DWORD error = ::GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
      break;
  }
  return name;
}

// What an existing output had that its replacement keeps where the system does not carry it
// over itself: its attributes and creation time, and which file it is.
struct ReplacedFile {
  DWORD attributes = 0;
  FILETIME created{};
  FileState identity;
};

class Win32OutputReplacement final : public OutputReplacement {
 public:
  Win32OutputReplacement(std::string path, std::wstring target, std::wstring copy_path,
                         HANDLE handle, std::optional<ReplacedFile> replaced, HANDLE output)
      : path_(std::move(path)),
        target_(std::move(target)),
        copy_path_(std::move(copy_path)),
        stream_(handle),
        replaced_(replaced),
        output_(output) {}
  ~Win32OutputReplacement() override {
    stream_.Close();
    if (!committed_ && !in_place())
      ::DeleteFileW(copy_path_.c_str());  // where the mark could not be set, or was cleared
  }

  FileStream& Stream() override { return stream_; }

  bool Replaces(const FileState& state) override {
    return replaced_ && replaced_->identity.SameFileAs(state);
  }

  std::string Warning() override { return warning_; }

  // A console event reaches its handlers on a thread of the system's, whichever thread commits.
  bool CommitsFromAnyThread() override { return true; }

  void Commit() override {
    stream_.Flush();
    if (in_place())
      return OverwriteInPlace();
    if (replaced_) {
      FILE_BASIC_INFO basic{};
      basic.CreationTime.LowPart = replaced_->created.dwLowDateTime;
      basic.CreationTime.HighPart = static_cast<LONG>(replaced_->created.dwHighDateTime);
      basic.FileAttributes = replaced_->attributes & kKeptAttributes;
      if (basic.FileAttributes == 0)
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
      ::SetFileInformationByHandle(stream_.Handle(), FileBasicInfo, &basic, sizeof basic);
      TakeOverAccessList();
    }
    PendingCopyGuard guard(copy_path_, stream_);
    if (!MarkForDeletion(stream_.Handle(), false))
      throw FileCreateError(path_, SystemErrorText(::GetLastError()));
    guard.Close();
    // An existing output is replaced keeping its attributes and other streams; where the system
    // cannot do that (or for a new output), the copy, which has its access list already, is
    // renamed over it, unless streams would be lost.
    bool replaced = replaced_ && RetryWhileHeld([&] {
                      return ::ReplaceFileW(target_.c_str(), copy_path_.c_str(), nullptr,
                                            REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0;
                    });
    if (!replaced && replaced_ && HasOtherStreams(target_)) {
      ::DeleteFileW(copy_path_.c_str());
      committed_ = true;
      throw FileCreateError(path_, FailurePattern(FailureMessage::kStreamsNotKept));
    }
    if (!replaced && !RetryWhileHeld([&] {
          return ::MoveFileExW(copy_path_.c_str(), target_.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        })) {
      const DWORD error = ::GetLastError();
      ::DeleteFileW(copy_path_.c_str());
      committed_ = true;
      throw FileCreateError(path_, SystemErrorText(error));
    }
    committed_ = true;
    // The replacement on the disk too; the output is in place by now, so this is reported, not
    // failed.
    HANDLE written = INVALID_HANDLE_VALUE;
    const bool flushed =
        RetryWhileHeld([&] {
          written = ::CreateFileW(target_.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
          return written != INVALID_HANDLE_VALUE;
        }) &&
        ::FlushFileBuffers(written);
    const DWORD error = ::GetLastError();
    if (written != INVALID_HANDLE_VALUE)
      ::CloseHandle(written);
    if (!flushed) {
      warning_ = FailureMessageText(FailureMessage::kNotOnDisk, {path_, SystemErrorText(error)});
    }
  }

 private:
  static constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                           FILE_ATTRIBUTE_ARCHIVE |
                                           FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

  bool in_place() const { return output_ != nullptr; }

  // The replaced file's access list, as it is (protected from inheritance or not), on the copy.
  void TakeOverAccessList() {
    const HANDLE old = ::CreateFileW(target_.c_str(), READ_CONTROL,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    DWORD size = 0;
    std::string descriptor;
    bool read = old != INVALID_HANDLE_VALUE;
    if (read && !::GetKernelObjectSecurity(old, DACL_SECURITY_INFORMATION, nullptr, 0, &size) &&
        ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
      descriptor.resize(size);
      read = ::GetKernelObjectSecurity(old, DACL_SECURITY_INFORMATION, descriptor.data(), size,
                                       &size) != 0;
    }
    const DWORD error = ::GetLastError();
    if (old != INVALID_HANDLE_VALUE)
      ::CloseHandle(old);
    if (descriptor.empty()) {
      // A file system without access lists has none to keep.
      if (read || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION)
        return;
      throw FileCreateError(
          path_, FailureMessageText(FailureMessage::kAccessListNotKept, {SystemErrorText(error)}));
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(descriptor.data(), &control, &revision);
    const SECURITY_INFORMATION what =
        DACL_SECURITY_INFORMATION |
        ((control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                            : UNPROTECTED_DACL_SECURITY_INFORMATION);
    if (!::SetKernelObjectSecurity(stream_.Handle(), what, descriptor.data()))
      throw FileCreateError(path_, FailureMessageText(FailureMessage::kAccessListNotKept,
                                                      {SystemErrorText(::GetLastError())}));
  }

  // Whether a file has streams besides its content, which a rename over it would drop. A file
  // whose streams cannot be listed for another reason than having none (or being gone, or lying
  // on a file system without streams) counts as having some.
  static bool HasOtherStreams(const std::wstring& file) {
    WIN32_FIND_STREAM_DATA stream{};
    const HANDLE find = ::FindFirstStreamW(file.c_str(), FindStreamInfoStandard, &stream, 0);
    if (find == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      return error != ERROR_HANDLE_EOF && error != ERROR_FILE_NOT_FOUND &&
             error != ERROR_PATH_NOT_FOUND && error != ERROR_INVALID_PARAMETER &&
             error != ERROR_NOT_SUPPORTED && error != ERROR_INVALID_FUNCTION &&
             error != ERROR_CALL_NOT_IMPLEMENTED;
    }
    bool other = false;
    do {
      other = other || std::wstring(stream.cStreamName) != L"::$DATA";
    } while (!other && ::FindNextStreamW(find, &stream));
    ::FindClose(find);
    return other;
  }

  // Overwrites the output with the complete, flushed copy. Its earlier content is kept aside in
  // the copy's folder first, and put back when the overwrite fails or a console event asks the
  // process to end before the overwrite is on the disk. Where it cannot be put back, the kept
  // content stays under a name of its own, which the failure names.
  void OverwriteInPlace() {
    const HANDLE output = output_.get();
    LARGE_INTEGER old_size{};
    if (!::GetFileSizeEx(output, &old_size))
      throw FileCreateError(path_, SystemErrorText(::GetLastError()));
    const std::wstring folder = copy_path_.substr(0, copy_path_.find_last_of(L"\\/") + 1);
    std::wstring kept_name;
    DWORD error = 0;
    const HANDLE created = CreatePrivateFile(folder, kept_name, error);
    if (created == INVALID_HANDLE_VALUE)
      throw FileCreateError(path_, SystemErrorText(error));
    OwnedHandle kept(created);
    const auto never = [] { return false; };
    if ((error = CopyFromStart(output, kept.get(), old_size.QuadPart, never)) != 0)
      throw FileCreateError(path_, SystemErrorText(error));
    const OverwriteGuard guard;
    error = CopyFromStart(stream_.Handle(), output, stream_.Size(), OverwriteGuard::Stopped);
    if (error == 0)
      error = SetLength(output, stream_.Size());
    if (error == 0 && !::FlushFileBuffers(output))
      error = ::GetLastError();
    if (error == 0 && OverwriteGuard::Stopped())
      error = ERROR_OPERATION_ABORTED;
    if (error == 0) {
      committed_ = true;
      return;
    }
    DWORD restore_error = CopyFromStart(kept.get(), output, old_size.QuadPart, never);
    if (restore_error == 0)
      restore_error = SetLength(output, old_size.QuadPart);
    if (restore_error == 0 && !::FlushFileBuffers(output))
      restore_error = ::GetLastError();
    if (restore_error != 0) {
      const std::wstring kept_at =
          KeepPrivateFile(kept, kept_name, target_.substr(target_.find_last_of(L"\\/:") + 1));
      if (kept_at.empty()) {
        throw FileCreateError(
            path_, FailureMessageText(FailureMessage::kNotRestored,
                                      {SystemErrorText(error), SystemErrorText(restore_error)}));
      }
      throw FileCreateError(
          path_, FailureMessageText(FailureMessage::kNotRestoredKept,
                                    {SystemErrorText(error), SystemErrorText(restore_error),
                                     WideToUtf8(kept_at)}));
    }
    throw FileCreateError(path_, SystemErrorText(error));
  }

  std::string path_;
  std::wstring target_;
  std::wstring copy_path_;
  Win32FileStream stream_;
  std::optional<ReplacedFile> replaced_;
  OwnedHandle output_;  // open where the output is written in place
  bool committed_ = false;
  std::string warning_;
};

// Waits until a pipe has bytes to read or its writer closed it, at most kPipeWaitMilliseconds.
// A pipe that cannot be asked (a host pipe under an emulation layer, read there as empty at once)
// counts as one without a writer.
bool WaitForInput(HANDLE pipe) {
  constexpr DWORD kPollMilliseconds = 10;
  for (int waited = 0; waited <= kPipeWaitMilliseconds; waited += kPollMilliseconds) {
    DWORD available = 0;
    if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr))
      return ::GetLastError() == ERROR_BROKEN_PIPE;
    if (available > 0)
      return true;
    ::Sleep(kPollMilliseconds);
  }
  return false;
}

class Win32FileSystem final : public FileSystem {
 public:
  std::unique_ptr<FileStream> Open(const std::string& path, OpenMode mode) override {
    DWORD access = GENERIC_READ;
    DWORD share = FILE_SHARE_READ;
    DWORD disposition = OPEN_EXISTING;
    if (mode == OpenMode::kReadWrite)
      access |= GENERIC_WRITE;
    if (mode == OpenMode::kCreate) {
      access |= GENERIC_WRITE;
      share = 0;
      disposition = CREATE_ALWAYS;
    }
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (!path.empty() && path.find('\0') == std::string::npos) {
      handle = ::CreateFileW(SystemPath(path).c_str(), access, share, nullptr, disposition,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = path.empty() ? ERROR_FILE_NOT_FOUND : ::GetLastError();
      if (mode == OpenMode::kCreate)
        throw FileCreateError(path, SystemErrorText(error));
      throw FileOpenError(path, SystemErrorText(error));
    }
    auto stream = std::make_unique<Win32FileStream>(handle);
    if (mode == OpenMode::kRead && ::GetFileType(handle) == FILE_TYPE_PIPE &&
        !WaitForInput(handle)) {
      throw FileOpenError(path, FailurePattern(FailureMessage::kPipeSilent));
    }
    return stream;
  }

  std::unique_ptr<OutputReplacement> BeginOutput(const std::string& path) override {
    if (path.empty() || path.find('\0') != std::string::npos)
      throw FileCreateError(path, SystemErrorText(ERROR_INVALID_NAME));
    // Long enough for the copy's name beside the output.
    const std::wstring target = SystemPath(path, TemporaryName(0, 0).size());
    std::optional<ReplacedFile> replaced;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    FileState identity;
    if (::GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &data) &&
        Identify(path, identity)) {
      // A read-only file stays as it is, as an overwrite in place would.
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0)
        throw FileCreateError(path, SystemErrorText(ERROR_ACCESS_DENIED));
      replaced = ReplacedFile{data.dwFileAttributes, data.ftCreationTime, identity};
    }
    const std::size_t cut = target.find_last_of(L"\\/:");
    const std::wstring folder =
        cut == std::wstring::npos ? std::wstring() : target.substr(0, cut + 1);
    std::wstring copy;
    DWORD error = 0;
    HANDLE handle = CreatePrivateFile(folder, copy, error);
    if (handle != INVALID_HANDLE_VALUE) {
      return std::make_unique<Win32OutputReplacement>(path, target, std::move(copy), handle,
                                                      replaced, nullptr);
    }
    // A writable file in a folder the caller may not add files to is written in place, from a
    // copy built in the folder for temporary files.
    if (!replaced || error != ERROR_ACCESS_DENIED)
      throw FileCreateError(path, SystemErrorText(error));
    HANDLE output = INVALID_HANDLE_VALUE;
    if (!RetryWhileHeld([&] {
          output = ::CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
          return output != INVALID_HANDLE_VALUE;
        })) {
      throw FileCreateError(path, SystemErrorText(::GetLastError()));
    }
    OwnedHandle held_output(output);
    std::wstring temporary(MAX_PATH + 1, L'\0');
    temporary.resize(::GetTempPathW(static_cast<DWORD>(temporary.size()), temporary.data()));
    handle = CreatePrivateFile(temporary, copy, error);
    if (handle == INVALID_HANDLE_VALUE)
      throw FileCreateError(path, SystemErrorText(error));
    return std::make_unique<Win32OutputReplacement>(path, target, std::move(copy), handle, replaced,
                                                    held_output.release());
  }

  bool Delete(const std::string& path) override {
    return path.find('\0') == std::string::npos && ::DeleteFileW(SystemPath(path).c_str());
  }

  bool IsSpecialFile(const std::string& path) override {
    const HANDLE handle = OpenForAttributes(path);
    if (handle == INVALID_HANDLE_VALUE)
      return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool special = ::GetFileType(handle) != FILE_TYPE_DISK ||
                         (::GetFileInformationByHandle(handle, &info) &&
                          (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    ::CloseHandle(handle);
    return special;
  }

  bool IsSameFile(const std::string& a, const std::string& b) override {
    FileState ia;
    FileState ib;
    return Identify(a, ia) && Identify(b, ib) && ia.SameFileAs(ib);
  }

  bool Exists(const std::string& path) override {
    return path.find('\0') == std::string::npos &&
           ::GetFileAttributesW(SystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

 private:
  // A handle for reading the attributes of an existing file without disturbing other users.
  static HANDLE OpenForAttributes(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos)
      return INVALID_HANDLE_VALUE;
    return ::CreateFileW(SystemPath(path).c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  }

  // The identity of an existing file.
  static bool Identify(const std::string& path, FileState& identity) {
    const HANDLE handle = OpenForAttributes(path);
    if (handle == INVALID_HANDLE_VALUE)
      return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = ::GetFileInformationByHandle(handle, &info) != 0;
    if (ok)
      identity = Identity(handle, info);
    ::CloseHandle(handle);
    return ok;
  }
};

}  // namespace

FileSystem& PlatformFileSystem() {
  static Win32FileSystem instance;
  return instance;
}

}  // namespace kv
