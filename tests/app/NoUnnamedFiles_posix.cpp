// Preloaded into the program by output_e2e.py: a file system that cannot create files without a
// name (as some network and FUSE file systems), so that the tests reach the named-copy path.
#include <dlfcn.h>
#include <fcntl.h>

#include <cerrno>
#include <cstdarg>

namespace {

using OpenAt = int (*)(int, const char*, int, ...);

int Forward(const char* symbol, int folder, const char* path, int flags, mode_t mode) {
  if ((flags & O_TMPFILE) == O_TMPFILE) {
    errno = EOPNOTSUPP;
    return -1;
  }
  const auto real = reinterpret_cast<OpenAt>(::dlsym(RTLD_NEXT, symbol));
  return real(folder, path, flags, mode);
}

mode_t ModeArgument(int flags, va_list arguments) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(arguments, mode_t) : 0;
}

}  // namespace

extern "C" int openat(int folder, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  return Forward("openat", folder, path, flags, mode);
}

extern "C" int openat64(int folder, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  return Forward("openat64", folder, path, flags, mode);
}
