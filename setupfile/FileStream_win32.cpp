// Windows backend of the file layer: wide-character file API behind UTF-8 byte-string paths,
// so that names with any characters and of any length work. Inputs are opened with other writers
// and deleters denied, created files exclusively. An output's copy is marked for deletion from
// its creation until it replaces the output, so that a run that ends early leaves nothing.
#include <windows.h>

#include <atomic>
#include <optional>
#include <string>
#include <utility>

#include "base/Failure.h"
#include "base/RuntimeError.h"
#include "base/WinText_win32.h"
#include "setupfile/FileStream.h"

namespace kv {

namespace {

// A path as the system takes it. Past the classic length limit it is made absolute (and
// normalised, which the prefix turns off) and given the long-path prefix.
std::wstring SystemPath(const std::string& path) {
  constexpr std::size_t kShortPathLimit = MAX_PATH - 12;  // what a folder's name may reach
  const std::wstring wide = Utf8ToWide(path);
  if (wide.size() < kShortPathLimit || wide.rfind(L"\\\\?\\", 0) == 0)
    return wide;
  std::wstring full(::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr), L'\0');
  const DWORD n =
      ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n == 0 || n >= full.size())
    return wide;
  full.resize(n);
  if (full.rfind(L"\\\\", 0) == 0)
    return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
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

  FileState State() override {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle_, &info))
      throw StreamReadError();
    return {.volume = info.dwVolumeSerialNumber,
            .index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow,
            .size = static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) |
                                              info.nFileSizeLow),
            .modified = static_cast<std::int64_t>(
                (std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                info.ftLastWriteTime.dwLowDateTime)};
  }

 private:
  HANDLE handle_;
  bool written_ = false;
};

// Marks an open file to be deleted when its last handle closes, or clears the mark.
bool MarkForDeletion(HANDLE handle, bool deleted) {
  FILE_DISPOSITION_INFO info{};
  info.DeleteFile = deleted ? TRUE : FALSE;
  return ::SetFileInformationByHandle(handle, FileDispositionInfo, &info, sizeof info) != 0;
}

// The copy's name between the moment its deletion mark is cleared and its rename, for a console
// event (Ctrl+C, Ctrl+Break, a closed console) that ends the process there: the handler, on a
// thread of the system's, removes it and lets the next handler end the process.
class PendingNameGuard {
 public:
  explicit PendingNameGuard(const std::wstring& name) {
    name.copy(name_, std::size(name_) - 1);
    name_[std::min(name.size(), std::size(name_) - 1)] = L'\0';
    armed_ = true;
    ::SetConsoleCtrlHandler(RemoveOnEvent, TRUE);
  }
  ~PendingNameGuard() {
    ::SetConsoleCtrlHandler(RemoveOnEvent, FALSE);
    armed_ = false;
  }
  PendingNameGuard(const PendingNameGuard&) = delete;
  PendingNameGuard& operator=(const PendingNameGuard&) = delete;

 private:
  static BOOL WINAPI RemoveOnEvent(DWORD /*event*/) {
    if (armed_.exchange(false))
      ::DeleteFileW(name_);
    return FALSE;
  }

  static inline std::atomic<bool> armed_ = false;
  static inline wchar_t name_[32768] = {};
};

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
                         HANDLE handle, std::optional<ReplacedFile> replaced)
      : path_(std::move(path)),
        target_(std::move(target)),
        copy_path_(std::move(copy_path)),
        stream_(handle),
        replaced_(replaced) {}
  ~Win32OutputReplacement() override {
    if (committed_)
      return;
    if (!in_place()) {
      stream_.Close();
      ::DeleteFileW(copy_path_.c_str());  // where the mark could not be set, or was cleared
      return;
    }
    // A partly overwritten output would pass for a setup file: it is emptied, and removed where
    // its folder allows that.
    if (stream_.Written()) {
      RunIgnoringFailure([this] { stream_.SetSize(0); });
      stream_.Close();
      ::DeleteFileW(target_.c_str());
    }
  }

  FileStream& Stream() override { return stream_; }

  bool Replaces(const FileState& state) override {
    return replaced_ && replaced_->identity.SameFileAs(state);
  }

  void Commit() override {
    stream_.Flush();
    if (in_place()) {
      committed_ = true;
      return;
    }
    if (replaced_) {
      FILE_BASIC_INFO basic{};
      basic.CreationTime.LowPart = replaced_->created.dwLowDateTime;
      basic.CreationTime.HighPart = static_cast<LONG>(replaced_->created.dwHighDateTime);
      basic.FileAttributes = replaced_->attributes & kKeptAttributes;
      if (basic.FileAttributes == 0)
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
      ::SetFileInformationByHandle(stream_.Handle(), FileBasicInfo, &basic, sizeof basic);
    }
    const PendingNameGuard guard(copy_path_);
    if (!MarkForDeletion(stream_.Handle(), false))
      throw FileCreateError(path_, SystemErrorText(::GetLastError()));
    stream_.Close();
    // An existing output is replaced keeping its access list, attributes and other streams;
    // where the system cannot do that (or for a new output), the copy is renamed over it.
    const bool replaced =
        replaced_ && ::ReplaceFileW(target_.c_str(), copy_path_.c_str(), nullptr,
                                    REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
    if (!replaced && !::MoveFileExW(copy_path_.c_str(), target_.c_str(),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      const DWORD error = ::GetLastError();
      ::DeleteFileW(copy_path_.c_str());
      committed_ = true;
      throw FileCreateError(path_, SystemErrorText(error));
    }
    committed_ = true;
  }

 private:
  static constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                           FILE_ATTRIBUTE_ARCHIVE |
                                           FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

  bool in_place() const { return copy_path_.empty(); }

  std::string path_;
  std::wstring target_;
  std::wstring copy_path_;  // empty: the output is written in place
  Win32FileStream stream_;
  std::optional<ReplacedFile> replaced_;
  bool committed_ = false;
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
      throw FileOpenError(path, "Nothing was written to the pipe within a second");
    }
    return stream;
  }

  std::unique_ptr<OutputReplacement> BeginOutput(const std::string& path) override {
    if (path.empty() || path.find('\0') != std::string::npos)
      throw FileCreateError(path, SystemErrorText(ERROR_INVALID_NAME));
    const std::wstring target = SystemPath(path);
    std::optional<ReplacedFile> replaced;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &data) &&
        Identify(path, info)) {
      // A read-only file stays as it is, as an overwrite in place would.
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0)
        throw FileCreateError(path, SystemErrorText(ERROR_ACCESS_DENIED));
      replaced = ReplacedFile{
          data.dwFileAttributes, data.ftCreationTime,
          FileState{.volume = info.dwVolumeSerialNumber,
                    .index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow}};
    }
    const std::size_t cut = target.find_last_of(L"\\/:");
    const std::wstring folder =
        cut == std::wstring::npos ? std::wstring() : target.substr(0, cut + 1);
    const auto process_id = static_cast<std::uint32_t>(::GetCurrentProcessId());
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 1; attempt <= kTemporaryNameAttempts &&
                          (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
         ++attempt) {
      std::wstring copy = folder + Utf8ToWide(TemporaryName(process_id, attempt));
      const HANDLE handle = ::CreateFileW(copy.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                          nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle != INVALID_HANDLE_VALUE) {
        // Where the file system has no such mark, the copy is removed by name on failure.
        MarkForDeletion(handle, true);
        return std::make_unique<Win32OutputReplacement>(path, target, std::move(copy), handle,
                                                        replaced);
      }
      error = ::GetLastError();
    }
    // A writable file in a folder the caller may not add files to is written in place.
    if (replaced && error == ERROR_ACCESS_DENIED) {
      const HANDLE handle = ::CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle != INVALID_HANDLE_VALUE) {
        return std::make_unique<Win32OutputReplacement>(path, target, std::wstring(), handle,
                                                        replaced);
      }
      error = ::GetLastError();
    }
    throw FileCreateError(path, SystemErrorText(error));
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
    BY_HANDLE_FILE_INFORMATION ia{};
    BY_HANDLE_FILE_INFORMATION ib{};
    if (!Identify(a, ia) || !Identify(b, ib))
      return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
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

  // Volume and file index of an existing file.
  static bool Identify(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    const HANDLE handle = OpenForAttributes(path);
    if (handle == INVALID_HANDLE_VALUE)
      return false;
    const bool ok = ::GetFileInformationByHandle(handle, &info) != 0;
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
