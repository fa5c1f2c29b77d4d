#include "tools/update_service/port_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace kestrune {

ScopedPortLock::ScopedPortLock(uint16_t port) {
  const std::string path = "/tmp/kestrune-port-" + std::to_string(port) + ".lock";
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "open " + path);
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) {
      const int error = errno;
      ::close(fd_);
      throw std::system_error(error, std::generic_category(), "flock " + path);
    }
  }
}

ScopedPortLock::~ScopedPortLock() { ::close(fd_); }

}  // namespace kestrune
