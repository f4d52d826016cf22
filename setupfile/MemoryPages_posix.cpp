// Linux provides the missing pages of a range, writable, with MADV_POPULATE_WRITE (since 5.14);
// pages already there keep their bytes. An older kernel refuses the request and the pages come
// one fault at a time.
#include "setupfile/MemoryPages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace kv {

void ProvidePages(std::span<char> buffer) {
  static const std::uintptr_t page_size = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  // Only whole pages inside the buffer: the request takes page bounds, and rounding outwards
  // could reach past the memory the buffer lies in.
  const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(buffer.data());
  const std::uintptr_t first = (begin + page_size - 1) / page_size * page_size;
  const std::uintptr_t last = (begin + buffer.size()) / page_size * page_size;
  if (last > first)
    ::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
}

}  // namespace kv
