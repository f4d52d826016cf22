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

// Which file a stream reads and the state of its content: the file's identity on its volume,
// its size and the time of its last change. Two equal states of one stream mean nothing was
// written to the file in between.
struct FileState {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  std::uint64_t index_high = 0;  // the upper half of a 128-bit file identity (ReFS), else 0
  std::int64_t size = 0;
  std::int64_t modified = 0;
  bool operator==(const FileState&) const = default;
  bool SameFileAs(const FileState& other) const {
    return volume == other.volume && index == other.index && index_high == other.index_high;
  }
};

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
  // Reads up to buffer.size() bytes from position, as Read; the stream's position afterwards is
  // the one it had before.
  virtual std::size_t ReadAt(std::int64_t position, std::span<char> buffer);
  // Whether ReadAt may run on a second thread while this one uses the stream (reads that do not
  // move the stream's position).
  virtual bool ReadsAtFromAnyThread() { return false; }
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
  // Starts writing count bytes from offset to the disk without waiting for them, so that a later
  // Flush has less left to do. Only a hint: streams that are not files do nothing.
  virtual void StartFlush(std::int64_t /*offset*/, std::int64_t /*count*/) {}
  // The identity and the content's state of the file; streams that are not files give their size
  // only. Throws StreamReadError.
  virtual FileState State() { return FileState{.size = Size()}; }

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

// The replacement of an output file under construction. Its stream starts empty; Commit puts
// what was written in place of the output, durably, with the mode, owner and group the output
// had (the mode 0666 less the process's mask for a new one; setuid and setgid only where the
// owner and group are kept), its access lists and extended attributes (on Windows its access
// list, attributes and other streams), or refuses. Destroyed without Commit, it leaves the
// output as it was, and nothing of the copy behind. Where no rename can replace the output (a
// folder the caller cannot write, a mount point), the copy is built in a writable folder and
// Commit overwrites the output with it, putting the earlier content back when that fails or is
// interrupted.
class OutputReplacement {
 public:
  virtual ~OutputReplacement() = default;
  virtual FileStream& Stream() = 0;
  // True when the output existed and is the file state names (the same file, by any name).
  virtual bool Replaces(const FileState& state) = 0;
  // Throws FileCreateError naming the output, or StreamWriteError.
  virtual void Commit() = 0;
  // Whether Commit may run on another thread than the one that began the output (not where it
  // holds signals back on its own thread while it creates and renames names).
  virtual bool CommitsFromAnyThread() { return false; }
  // After Commit: what went wrong once the output was in place (its folder could not be synced),
  // for the user to hear; empty when nothing did.
  virtual std::string Warning() { return {}; }
};

// The file system the program works on. Tests install a substitute with ScopedFileSystem.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Throws FileOpenError (kRead, kReadWrite) or FileCreateError (kCreate).
  virtual std::unique_ptr<FileStream> Open(const std::string& path, OpenMode mode) = 0;
  // Resolves path once, name by name (symbolic links followed where that is safe), and starts
  // its replacement in the folder found, whatever happens to the names afterwards. In a shared
  // folder (sticky, everybody may write) a link, a folder or an existing output that neither the
  // caller nor the folder's owner owns is refused. Throws FileCreateError naming path (with the
  // reason for a refusal).
  virtual std::unique_ptr<OutputReplacement> BeginOutput(const std::string& path) = 0;
  // Removes a file; false when it did not exist or could not be removed.
  virtual bool Delete(const std::string& path) = 0;
  virtual bool Exists(const std::string& path) = 0;
  // True when both names lead to one existing file: the same path spelt differently, a symbolic
  // or hard link, and on Windows another letter case or a short name.
  virtual bool IsSameFile(const std::string& a, const std::string& b) = 0;
  // True when the path exists and is not a regular file: a folder, a device, a pipe.
  virtual bool IsSpecialFile(const std::string& path) = 0;
};

// The name of an unfinished copy in the output's folder, where the system cannot create one
// without a name: of one fixed length whatever the output's name, saying whose copy it is, and
// with a random part, since process ids repeat across containers sharing a folder. Created
// exclusively, never by removing what holds the name.
std::string TemporaryName(std::uint32_t process_id, std::uint32_t random);
inline constexpr int kTemporaryNameAttempts = 100;

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
