#pragma once
// The exclusive lock that whoever listens on a shared fixed port holds, so
// concurrent test runs take turns. The lock file lives in a folder of the
// user's own (/tmp/kestrune-locks-<uid>, mode 0700): in /tmp itself anyone
// could plant a link by that name, and opening it would create or lock
// whatever the link names.

#include <cstdint>
#include <string>

namespace kestrune {

// The folder of the lock files of the user who runs the process.
std::string PortLockFolder();

class ScopedPortLock {
 public:
  // Blocks until the lock for `port` in `folder` is ours. Creates the folder
  // (mode 0700) when missing. Throws std::system_error when the folder is a
  // link, not the user's own, or open to others, or when the lock file
  // cannot be opened or is not a regular file (a link is never followed).
  explicit ScopedPortLock(uint16_t port, const std::string& folder = PortLockFolder());
  ~ScopedPortLock();
  ScopedPortLock(const ScopedPortLock&) = delete;
  ScopedPortLock& operator=(const ScopedPortLock&) = delete;

 private:
  int fd_;
};

// The fixed port of the update service; listening on it needs the lock.
constexpr uint16_t kUpdateServicePort = 8443;

}  // namespace kestrune
