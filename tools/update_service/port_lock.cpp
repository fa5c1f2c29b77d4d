#include "tools/update_service/port_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace kestrune {
namespace {

[[noreturn]] void Fail(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

// A descriptor of `folder`, made when missing, once it is known to be the
// user's own folder that nobody else may write to.
int OpenPrivateFolder(const std::string& folder) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) Fail(errno, "mkdir " + folder);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) Fail(errno, "open " + folder);
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    Fail(error, "stat " + folder);
  }
  if (info.st_uid != ::geteuid() || (info.st_mode & 077) != 0) {
    ::close(fd);
    Fail(EPERM, folder + " is not a private folder of this user");
  }
  return fd;
}

}  // namespace

std::string PortLockFolder() { return "/tmp/kestrune-locks-" + std::to_string(::geteuid()); }

ScopedPortLock::ScopedPortLock(uint16_t port, const std::string& folder) {
  const int dir = OpenPrivateFolder(folder);
  const std::string name = "port-" + std::to_string(port) + ".lock";
  fd_ = ::openat(dir, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  const int openError = errno;
  ::close(dir);
  if (fd_ < 0) Fail(openError, "open " + folder + "/" + name);
  struct stat info {};
  if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd_);
    Fail(EINVAL, folder + "/" + name + " is not a regular file");
  }
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) {
      const int error = errno;
      ::close(fd_);
      Fail(error, "flock " + folder + "/" + name);
    }
  }
}

ScopedPortLock::~ScopedPortLock() { ::close(fd_); }

}  // namespace kestrune
