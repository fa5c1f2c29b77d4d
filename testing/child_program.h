#pragma once
// A helper program (the simulated watch, the reference update service) run
// as a child process whose first line of output tells how to reach it.

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

namespace kestrune {
namespace testing_support {

class ChildProgram {
 public:
  // Starts argv[0] with the arguments that follow, stdin from /dev/null,
  // and waits for its first line. Throws std::system_error when it cannot
  // be started.
  explicit ChildProgram(std::vector<std::string> argv);
  // Stops the program unless Stop already has.
  ~ChildProgram();
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;

  // The first line without its line end; empty when it said nothing.
  const std::string& FirstLine() const { return firstLine_; }
  // Sends SIGTERM, waits for the end and returns the wait status.
  int Stop();

 private:
  pid_t pid_ = -1;
  FILE* output_ = nullptr;
  std::string firstLine_;
};

}  // namespace testing_support
}  // namespace kestrune
