// Runs another program (found on PATH) to its end, with its standard output and error going to a
// log file. Arguments are passed as they are, without a shell.
#pragma once

#include <string>
#include <vector>

namespace kv {

struct ProgramResult {
  bool started = false;  // false: the program could not be run at all (error says why)
  int exit_code = -1;    // the exit code, or -1 when it ended by a signal
  std::string output;    // what it wrote to standard output and error
  std::string error;
};

ProgramResult RunProgram(const std::vector<std::string>& arguments, const std::string& log_file);

}  // namespace kv
