// Windows has no request that provides private pages ahead of their first use: they come one
// fault at a time.
#include "setupfile/MemoryPages.h"

namespace kv {

void ProvidePages(std::span<char> /*buffer*/) {}

}  // namespace kv
