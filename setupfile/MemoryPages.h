// A hint to the system about memory the program is about to fill: the pages of a buffer are
// provided in one request instead of one page fault each. Nothing changes where the system
// offers no such request; the buffer's contents are not touched either way.
#pragma once

#include <span>

namespace kv {

void ProvidePages(std::span<char> buffer);

}  // namespace kv
