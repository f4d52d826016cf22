// Windows backend of the file layer: wide-character file API behind UTF-8 byte-string paths,
// so that names with any characters work. Inputs are opened with other writers denied, created
// files exclusively.
#include <windows.h>

#include <string>
#include <utility>

#include "base/RuntimeError.h"
#include "base/WinText_win32.h"
#include "setupfile/FileStream.h"

namespace kv {

namespace {

// How a file was opened: enough to open it again the same way.
struct OpenedAs {
  std::wstring path;
  DWORD access = 0;
  DWORD share = 0;
};

class Win32FileStream final : public FileStream {
 public:
  Win32FileStream(HANDLE handle, OpenedAs opened) : handle_(handle), opened_(std::move(opened)) {}
  ~Win32FileStream() override {
    if (handle_ != INVALID_HANDLE_VALUE)
      ::CloseHandle(handle_);
  }

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
    const std::int64_t keep = Position();
    LARGE_INTEGER target{};
    target.QuadPart = size;
    if (size < 0 || !::SetFilePointerEx(handle_, target, nullptr, FILE_BEGIN) ||
        !::SetEndOfFile(handle_)) {
      throw StreamWriteError();
    }
    Seek(std::min(keep, size));
  }

  // The system copies whole files by name (on a share without the data crossing the network,
  // by sharing blocks where the volume can): this new, empty file is closed, copied over and
  // opened again as it was.
  std::int64_t CopyFromBySystem(FileStream& source, std::int64_t count) override {
    auto* win_source = dynamic_cast<Win32FileStream*>(&source);
    if (win_source == nullptr || Size() != 0 || win_source->Position() != 0 ||
        win_source->Size() != count) {
      return 0;
    }
    ::CloseHandle(handle_);
    const bool copied = ::CopyFileExW(win_source->opened_.path.c_str(), opened_.path.c_str(),
                                      nullptr, nullptr, nullptr, 0) != 0;
    // A read-only source must not give a copy that cannot be written and replaced.
    if (copied)
      ::SetFileAttributesW(opened_.path.c_str(), FILE_ATTRIBUTE_NORMAL);
    handle_ = ::CreateFileW(opened_.path.c_str(), opened_.access, opened_.share, nullptr,
                            copied ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE)
      throw StreamWriteError();
    if (!copied)
      return 0;  // the caller copies in blocks, where a full disk shows with its message
    if (Size() != count)
      throw StreamWriteError();
    Seek(count);
    win_source->Seek(count);
    return count;
  }

  void Flush() override {
    if (!::FlushFileBuffers(handle_))
      throw StreamWriteError();
  }

 private:
  HANDLE handle_;
  OpenedAs opened_;
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
    const std::wstring wide = Utf8ToWide(path);
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (!path.empty() && path.find('\0') == std::string::npos) {
      handle = ::CreateFileW(wide.c_str(), access, share, nullptr, disposition,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = path.empty() ? ERROR_FILE_NOT_FOUND : ::GetLastError();
      if (mode == OpenMode::kCreate)
        throw FileCreateError(path, SystemErrorText(error));
      throw FileOpenError(path, SystemErrorText(error));
    }
    auto stream = std::make_unique<Win32FileStream>(handle, OpenedAs{wide, access, share});
    if (mode == OpenMode::kRead && ::GetFileType(handle) == FILE_TYPE_PIPE &&
        !WaitForInput(handle)) {
      throw FileOpenError(path, "Nothing was written to the pipe within a second");
    }
    return stream;
  }

  std::unique_ptr<FileStream> CreateBeside(const std::string& path,
                                           std::string& temporary_path) override {
    DWORD error = ERROR_FILE_EXISTS;
    if (path.empty() || path.find('\0') != std::string::npos)
      error = ERROR_INVALID_NAME;
    const auto process_id = static_cast<std::uint32_t>(::GetCurrentProcessId());
    for (int attempt = 1; attempt <= kTemporaryPathAttempts &&
                          (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
         ++attempt) {
      const std::string candidate = TemporaryPathFor(path, process_id, attempt);
      OpenedAs opened{Utf8ToWide(candidate), GENERIC_READ | GENERIC_WRITE, 0};
      const HANDLE handle = ::CreateFileW(opened.path.c_str(), opened.access, opened.share, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle != INVALID_HANDLE_VALUE) {
        temporary_path = candidate;
        return std::make_unique<Win32FileStream>(handle, std::move(opened));
      }
      error = ::GetLastError();
    }
    throw FileCreateError(path, SystemErrorText(error));
  }

  void Replace(const std::string& from, const std::string& to) override {
    if (from.find('\0') != std::string::npos || to.find('\0') != std::string::npos)
      throw FileCreateError(to, SystemErrorText(ERROR_INVALID_NAME));
    if (!::MoveFileExW(Utf8ToWide(from).c_str(), Utf8ToWide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      throw FileCreateError(to, SystemErrorText(::GetLastError()));
    }
  }

  bool Delete(const std::string& path) override {
    return path.find('\0') == std::string::npos && ::DeleteFileW(Utf8ToWide(path).c_str());
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
           ::GetFileAttributesW(Utf8ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

 private:
  // A handle for reading the attributes of an existing file without disturbing other users.
  static HANDLE OpenForAttributes(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos)
      return INVALID_HANDLE_VALUE;
    return ::CreateFileW(Utf8ToWide(path).c_str(), FILE_READ_ATTRIBUTES,
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
