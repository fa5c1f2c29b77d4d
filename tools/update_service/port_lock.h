#pragma once
// The exclusive lock that whoever listens on a shared fixed port holds
// (/tmp/kestrune-port-<port>.lock), so concurrent test runs take turns.

#include <cstdint>

namespace kestrune {

class ScopedPortLock {
 public:
  // Blocks until the lock for `port` is ours. Throws std::system_error when
  // the lock file cannot be opened.
  explicit ScopedPortLock(uint16_t port);
  ~ScopedPortLock();
  ScopedPortLock(const ScopedPortLock&) = delete;
  ScopedPortLock& operator=(const ScopedPortLock&) = delete;

 private:
  int fd_;
};

// The fixed port of the update service; listening on it needs the lock.
constexpr uint16_t kUpdateServicePort = 8443;

}  // namespace kestrune
