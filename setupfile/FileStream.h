// Files as seekable byte streams with 64-bit positions, behind one small interface so that tests
// can substitute failing or counting streams. Paths are byte strings (UTF-8 on Windows).
// Stream operations throw RuntimeError (base/RuntimeError.h); operations catch it at their
// boundary.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace kv {

class FileStream {
 public:
  virtual ~FileStream() = default;

  // False for a pipe or a device: such a stream has no size and no positions, and is read from
  // its start to its end only.
  virtual bool IsRegularFile() { return true; }
  virtual std::int64_t Size() = 0;
  // Moves to an absolute position; throws StreamReadError when the system refuses.
  virtual void Seek(std::int64_t position) = 0;
  virtual std::int64_t Position() = 0;
  // Reads up to buffer.size() bytes; returns fewer only at the end of the file.
  // Throws StreamReadError on an I/O error.
  virtual std::size_t Read(std::span<char> buffer) = 0;
  // Writes all bytes or throws StreamWriteError.
  virtual void Write(std::span<const char> data) = 0;
  // Sets the file's length; throws StreamWriteError when the system refuses.
  virtual void SetSize(std::int64_t size) = 0;
  // Lets the system copy up to count bytes from source's position to this stream's position
  // (sharing blocks where the file system can). Returns the bytes copied, both positions moved
  // on; 0 when the system offers no such copy here, and the caller copies the rest itself.
  virtual std::int64_t CopyFromBySystem(FileStream& /*source*/, std::int64_t /*count*/) {
    return 0;
  }

  // Pushes the bytes written so far to the disk; throws StreamWriteError when the system refuses.
  // Streams that are not files have nothing to push.
  virtual void Flush() {}

  // Reads exactly buffer.size() bytes or throws StreamReadError.
  void ReadBuffer(std::span<char> buffer);
};

enum class OpenMode {
  kRead,       // existing file, read only, other writers denied; a pipe that nothing is written
               // to within kPipeWaitMilliseconds is refused instead of waited for
  kReadWrite,  // existing file, read and write, other writers denied
  kCreate,     // created new or truncated, exclusive access
};

inline constexpr int kPipeWaitMilliseconds = 1000;

// The file system the program works on. Tests install a substitute with ScopedFileSystem.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Throws FileOpenError (kRead, kReadWrite) or FileCreateError (kCreate).
  virtual std::unique_ptr<FileStream> Open(const std::string& path, OpenMode mode) = 0;
  // Creates a new, empty file in path's folder, exclusively, for building a replacement of path:
  // its name (returned in temporary_path) is TemporaryPathFor(path, ...) with the first attempt
  // that names no existing file. Throws FileCreateError naming path.
  virtual std::unique_ptr<FileStream> CreateBeside(const std::string& path,
                                                   std::string& temporary_path) = 0;
  // Renames from to to, replacing a file of that name in one step. Throws FileCreateError naming
  // to when the system refuses.
  virtual void Replace(const std::string& from, const std::string& to) = 0;
  // Removes a file; false when it did not exist or could not be removed.
  virtual bool Delete(const std::string& path) = 0;
  virtual bool Exists(const std::string& path) = 0;
  // True when both names lead to one existing file: the same path spelt differently, a symbolic
  // or hard link, and on Windows another letter case or a short name.
  virtual bool IsSameFile(const std::string& a, const std::string& b) = 0;
  // True when the path exists and is not a regular file: a folder, a device, a pipe.
  virtual bool IsSpecialFile(const std::string& path) = 0;
};

// The name of a replacement of path under construction: path + "." + process id + "-" + attempt
// + ".partial", so a run that was killed leaves a file that says whose unfinished copy it is.
std::string TemporaryPathFor(const std::string& path, std::uint32_t process_id, int attempt);
inline constexpr int kTemporaryPathAttempts = 100;

// Copies count bytes from source's position to target's position: the system's copy first,
// then blocks of at most 61,440 bytes. Throws StreamReadError when the source ends early.
void CopyStreamData(FileStream& source, FileStream& target, std::int64_t count);

// The platform's file system.
FileSystem& PlatformFileSystem();
// The file system in use: the platform's unless a test installed another.
FileSystem& Files();

class ScopedFileSystem {
 public:
  explicit ScopedFileSystem(FileSystem& replacement);
  ~ScopedFileSystem();
  ScopedFileSystem(const ScopedFileSystem&) = delete;
  ScopedFileSystem& operator=(const ScopedFileSystem&) = delete;

 private:
  FileSystem* previous_;
};

}  // namespace kv
