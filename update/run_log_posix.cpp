#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <thread>

#include "update/run_log_platform.h"
#include "update/text_conversion.h"

namespace kestrune {

std::uint64_t LogFileSize(const std::u16string& path) {
  struct stat info;
  if (::stat(WideToUtf8Text(path).c_str(), &info) != 0) return 0;
  return static_cast<std::uint64_t>(info.st_size);
}

// A link planted as update.log would have the lines appended to whatever it
// names, and a FIFO or device there would take them: only a regular file
// that is itself update.log is written (O_NONBLOCK keeps the open of a FIFO
// from waiting for a reader).
bool AppendToLogFile(const std::u16string& path, const std::string& bytes) {
  const int fd =
      ::open(WideToUtf8Text(path).c_str(),
             O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY, 0644);
  if (fd < 0) return false;
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return false;
  }
  const ssize_t written = ::write(fd, bytes.data(), bytes.size());
  const bool closed = ::close(fd) == 0;
  return closed && written == static_cast<ssize_t>(bytes.size());
}

bool ReplaceLogFile(const std::u16string& from, const std::u16string& to) {
  return std::rename(WideToUtf8Text(from).c_str(), WideToUtf8Text(to).c_str()) == 0;
}

// The lock is on the log's folder: it is never renamed, so every process
// locks the same thing whichever file update.log is at the moment.
// Asked again every few milliseconds until `wait` has passed: flock itself
// waits either for ever or not at all.
RunLogLock::RunLogLock(const std::u16string& path, std::chrono::milliseconds wait) : handle_(-1) {
  const std::string file = WideToUtf8Text(path);
  const std::string::size_type slash = file.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : file.substr(0, slash + 1);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      handle_ = fd;
      held_ = true;
      return;
    }
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
      ::close(fd);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

RunLogLock::~RunLogLock() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));  // closing releases the lock
}

bool BreakDownTime(std::time_t when, std::tm& local, std::tm& utc) {
  return ::localtime_r(&when, &local) != nullptr && ::gmtime_r(&when, &utc) != nullptr;
}

}  // namespace kestrune
