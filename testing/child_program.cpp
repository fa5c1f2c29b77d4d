#include "testing/child_program.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

extern char** environ;

namespace kestrune {
namespace testing_support {

ChildProgram::ChildProgram(std::vector<std::string> argv) {
  int out[2];
  if (::pipe(out) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::vector<char*> args;
  for (std::string& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);
  const int error = ::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (error != 0) {
    ::close(out[0]);
    pid_ = -1;
    throw std::system_error(error, std::generic_category(), "cannot start " + argv[0]);
  }
  output_ = ::fdopen(out[0], "r");
  char line[512];
  if (output_ != nullptr && std::fgets(line, sizeof line, output_) != nullptr) {
    firstLine_ = line;
    while (!firstLine_.empty() && (firstLine_.back() == '\n' || firstLine_.back() == '\r')) {
      firstLine_.pop_back();
    }
  }
}

ChildProgram::~ChildProgram() {
  if (pid_ > 0) Stop();
  if (output_ != nullptr) std::fclose(output_);
}

int ChildProgram::Stop() {
  if (pid_ <= 0) return -1;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  return status;
}

}  // namespace testing_support
}  // namespace kestrune
