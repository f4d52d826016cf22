// Whether two paths name the same existing file, however they are spelt (relative or absolute,
// "." and "..", letter case where the file system ignores it, hard links). False when either
// file does not exist or cannot be examined. Paths are UTF-8 byte strings.
#pragma once

#include <string>

namespace kv {

bool IsSameExistingFile(const std::string& first, const std::string& second);

}  // namespace kv
