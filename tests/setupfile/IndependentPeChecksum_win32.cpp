#include <windows.h>
// imagehlp.h needs the types of windows.h.
#include <imagehlp.h>

#include "tests/setupfile/IndependentPeChecksum.h"

namespace kv::test {

bool IndependentPeChecksum(const std::string& path, std::uint32_t& stored,
                           std::uint32_t& computed) {
  DWORD header = 0;
  DWORD sum = 0;
  // Test paths are ASCII; the ANSI routine is the one the product's checksum repair mirrors.
  if (::MapFileAndCheckSumA(path.c_str(), &header, &sum) != CHECKSUM_SUCCESS)
    return false;
  stored = header;
  computed = sum;
  return true;
}

std::vector<std::string> SamplePeFiles() {
  std::vector<std::string> files;
  char self[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  if (n > 0 && n < MAX_PATH)
    files.emplace_back(self, n);
  char system[MAX_PATH] = {};
  const UINT m = ::GetSystemDirectoryA(system, MAX_PATH);
  if (m > 0 && m < MAX_PATH)
    files.push_back(std::string(system, m) + "\\notepad.exe");
  return files;
}

}  // namespace kv::test
