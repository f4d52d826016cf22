// Arguments are read as UTF-16 and passed on as UTF-8, so file names with any characters work.
#include <windows.h>

#include <string>
#include <vector>

#include "base/WinText_win32.h"
#include "tools/readback/ReadBack.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i)
    arguments.push_back(kv::WideToUtf8(argv[i]));
  return kv::RunReadBack(arguments);
}
