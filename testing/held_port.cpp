#include "testing/held_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace kestrune {
namespace testing_support {

HeldPort::HeldPort(const std::string& node) {
  fd_ = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "open " + node);
  if (::ioctl(fd_, TIOCEXCL) != 0 || ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd_);
    throw std::system_error(error, std::generic_category(), "hold " + node);
  }
}

HeldPort::~HeldPort() { ::close(fd_); }

}  // namespace testing_support
}  // namespace kestrune
