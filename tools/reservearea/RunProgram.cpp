#include "tools/reservearea/RunProgram.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

extern char** environ;

namespace kv {

namespace {

class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  posix_spawn_file_actions_t* Get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

std::string ReadLog(const std::string& log_file) {
  std::ifstream in(log_file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

ProgramResult RunProgram(const std::vector<std::string>& arguments, const std::string& log_file) {
  ProgramResult result;
  if (arguments.empty()) {
    result.error = "No program to run";
    return result;
  }
  std::vector<char*> argv;
  for (const std::string& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  SpawnActions actions;
  if (posix_spawn_file_actions_addopen(actions.Get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0) ||
      posix_spawn_file_actions_addopen(actions.Get(), STDOUT_FILENO, log_file.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0600) ||
      posix_spawn_file_actions_adddup2(actions.Get(), STDOUT_FILENO, STDERR_FILENO)) {
    result.error = "Cannot prepare to run " + arguments[0];
    return result;
  }
  pid_t pid = 0;
  const int spawn_error = posix_spawnp(&pid, argv[0], actions.Get(), nullptr, argv.data(), environ);
  if (spawn_error != 0) {
    result.error = "Cannot run " + arguments[0] + ": " + std::strerror(spawn_error);
    return result;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      result.error = "Lost track of " + arguments[0] + ": " + std::strerror(errno);
      return result;
    }
  }
  result.started = true;
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.output = ReadLog(log_file);
  return result;
}

}  // namespace kv
