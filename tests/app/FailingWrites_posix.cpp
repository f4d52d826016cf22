// Preloaded into the program by output_e2e.py: a disk that fails every write and flush of the
// file KV_FAILING_FILE names (by its full path) with an I/O error, so that the tests reach the
// failures of an overwrite in place and of putting the earlier content back. With
// KV_FAILING_SIGNAL set, the first write goes through and the process is sent that signal: a run
// stopped during an overwrite that cannot be undone either.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool Fails(int fd) {
  const char* failing = std::getenv("KV_FAILING_FILE");
  char path[4096] = {};
  const std::string entry = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(entry.c_str(), path, sizeof path - 1);
  if (failing == nullptr || n <= 0 || std::strcmp(path, failing) != 0)
    return false;
  static bool signalled = false;
  if (const char* signal_number = std::getenv("KV_FAILING_SIGNAL"); signal_number && !signalled) {
    signalled = true;
    ::raise(std::atoi(signal_number));
    return false;
  }
  errno = EIO;
  return true;
}

template <typename Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" ssize_t copy_file_range(int from, off_t* from_offset, int to, off_t* to_offset,
                                   size_t count, unsigned flags) {
  using CopyFileRange = ssize_t (*)(int, off_t*, int, off_t*, size_t, unsigned);
  return Fails(to) ? -1
                   : Next<CopyFileRange>("copy_file_range")(from, from_offset, to, to_offset, count,
                                                            flags);
}

extern "C" ssize_t pwrite(int fd, const void* data, size_t count, off_t offset) {
  using PWrite = ssize_t (*)(int, const void*, size_t, off_t);
  return Fails(fd) ? -1 : Next<PWrite>("pwrite")(fd, data, count, offset);
}

extern "C" int fdatasync(int fd) {
  using FDataSync = int (*)(int);
  return Fails(fd) ? -1 : Next<FDataSync>("fdatasync")(fd);
}
