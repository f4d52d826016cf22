// kvreadback: shows what a configured setup file carries (see README.md). The portable program;
// its entry points (Main_posix.cpp, Main_win32.cpp) only hand over the arguments as UTF-8.
#pragma once

#include <string>
#include <vector>

namespace kv {

// Runs kvreadback with the arguments after the program name; returns the exit code.
int RunReadBack(const std::vector<std::string>& arguments);

}  // namespace kv
