#include <cstdio>
#include <filesystem>

#include "tests/setupfile/IndependentPeChecksum.h"

namespace kv::test {

bool IndependentPeChecksum(const std::string& path, std::uint32_t& stored,
                           std::uint32_t& computed) {
  // Debian's Python modules load in /usr/bin/python3.
  const std::string command =
      "/usr/bin/python3 -c 'import pefile,sys; p=pefile.PE(sys.argv[1], fast_load=True); "
      "print(p.OPTIONAL_HEADER.CheckSum, p.generate_checksum())' '" +
      path + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr)
    return false;
  unsigned long a = 0;
  unsigned long b = 0;
  const int fields = std::fscanf(pipe, "%lu %lu", &a, &b);
  const int status = ::pclose(pipe);
  if (fields != 2 || status != 0)
    return false;
  stored = static_cast<std::uint32_t>(a);
  computed = static_cast<std::uint32_t>(b);
  return true;
}

std::vector<std::string> SamplePeFiles() {
  // Wine's own programs are real PE files, built independently of this project.
  const std::filesystem::path dir = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";
  std::vector<std::string> files;
  for (const char* name : {"notepad.exe", "cmd.exe"}) {
    if (std::filesystem::exists(dir / name))
      files.push_back((dir / name).string());
  }
  return files;
}

}  // namespace kv::test
