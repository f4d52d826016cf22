// Preloaded into the program by output_e2e.py: a file system that cannot create files without a
// name (as some network and FUSE file systems), so that the tests reach the named-copy path.
#include <dlfcn.h>
#include <fcntl.h>

#include <cerrno>
#include <cstdarg>

extern "C" int openat(int folder, const char* path, int flags, ...) {
  if ((flags & O_TMPFILE) == O_TMPFILE) {
    errno = EOPNOTSUPP;
    return -1;
  }
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = (flags & O_CREAT) != 0 ? va_arg(arguments, mode_t) : 0;
  va_end(arguments);
  using OpenAt = int (*)(int, const char*, int, ...);
  return reinterpret_cast<OpenAt>(::dlsym(RTLD_NEXT, "openat"))(folder, path, flags, mode);
}
