// Well-formed UTF-8: sequences of the shortest form, no surrogates, nothing above U+10FFFF. For
// text that must be UTF-8 (a list of files) and for JSON that keeps such text as it is.
#pragma once

#include <cstddef>
#include <string_view>

namespace kv {

// The length of the well-formed sequence text begins with; 0 when it begins with none (or is
// empty).
std::size_t Utf8SequenceLength(std::string_view text);

bool IsUtf8(std::string_view text);

}  // namespace kv
