// kestrune-port-lock PORT -- COMMAND [ARGS...]: runs COMMAND while holding
// the lock of PORT (see port_lock.h), for test scripts that keep the update
// service's port to themselves; exits with COMMAND's status. COMMAND does
// not inherit the lock's descriptor, so nothing it leaves running holds it.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "tools/update_service/port_lock.h"

int main(int argc, char** argv) {
  if (argc < 4 || std::strcmp(argv[2], "--") != 0) {
    std::fprintf(stderr, "usage: kestrune-port-lock PORT -- COMMAND [ARGS...]\n");
    return 2;
  }
  const long port = std::strtol(argv[1], nullptr, 10);
  if (port <= 0 || port > 65535) {
    std::fprintf(stderr, "kestrune-port-lock: bad port %s\n", argv[1]);
    return 2;
  }
  try {
    kestrune::ScopedPortLock lock(static_cast<uint16_t>(port));
    const pid_t child = ::fork();
    if (child < 0) {
      std::perror("kestrune-port-lock: fork");
      return 2;
    }
    if (child == 0) {
      ::execvp(argv[3], argv + 3);
      std::fprintf(stderr, "kestrune-port-lock: %s: %s\n", argv[3], std::strerror(errno));
      _exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
      if (errno != EINTR) return 2;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kestrune-port-lock: %s\n", error.what());
    return 2;
  }
}
