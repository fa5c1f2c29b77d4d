#pragma once
// What the run log needs of the platform: file operations and the local
// time. None of them throws; each reports failure by its result.

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>

namespace kestrune {

// Size of the file in bytes; 0 when it does not exist or cannot be read.
std::uint64_t LogFileSize(const std::u16string& path);

// Appends `bytes` to the file, creating it when missing, in one write.
bool AppendToLogFile(const std::u16string& path, const std::string& bytes);

// Renames `from` to `to`, replacing `to`.
bool ReplaceLogFile(const std::u16string& from, const std::u16string& to);

// Held from before the size check to after the append: the lock that every
// process writing the log at `path` honours, waited for at most `wait`.
// Without it (another program holds it, or it cannot be had) the line is
// written all the same, without rotating.
class RunLogLock {
 public:
  RunLogLock(const std::u16string& path, std::chrono::milliseconds wait);
  ~RunLogLock();
  bool Held() const { return held_; }
  RunLogLock(const RunLogLock&) = delete;
  RunLogLock& operator=(const RunLogLock&) = delete;

 private:
  std::intptr_t handle_;
  bool held_ = false;
};

// `when` as local time and as UTC.
bool BreakDownTime(std::time_t when, std::tm& local, std::tm& utc);

}  // namespace kestrune
