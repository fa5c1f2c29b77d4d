#include <windows.h>

#include <thread>

#include "update/run_log_platform.h"

namespace kestrune {
namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

}  // namespace

std::uint64_t LogFileSize(const std::u16string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool AppendToLogFile(const std::u16string& path, const std::string& bytes) {
  // Shared for reading and appending: the dialog and the command line may
  // log at the same time, and support may have the file open.
  // A link or junction planted as update.log is opened as itself, not
  // followed, and refused; so is anything but a file on a disk.
  HANDLE file =
      CreateFileW(Wide(path), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    CloseHandle(file);
    return false;
  }
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

bool ReplaceLogFile(const std::u16string& from, const std::u16string& to) {
  return MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

// The lock is a byte of "update.log.lock" beside the log: the log itself is
// renamed at rotation, so it cannot carry a lock that every process shares.
// Asked again every few milliseconds until `wait` has passed.
RunLogLock::RunLogLock(const std::u16string& path, std::chrono::milliseconds wait) : handle_(0) {
  HANDLE file = CreateFileW(Wide(path + u".lock"), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    OVERLAPPED at = {};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
      handle_ = reinterpret_cast<std::intptr_t>(file);
      held_ = true;
      return;
    }
    if (GetLastError() != ERROR_LOCK_VIOLATION || std::chrono::steady_clock::now() >= deadline) {
      CloseHandle(file);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

RunLogLock::~RunLogLock() {
  if (handle_ == 0) return;
  HANDLE file = reinterpret_cast<HANDLE>(handle_);
  OVERLAPPED at = {};
  UnlockFileEx(file, 0, 1, 0, &at);
  CloseHandle(file);
}

bool BreakDownTime(std::time_t when, std::tm& local, std::tm& utc) {
  return localtime_s(&local, &when) == 0 && gmtime_s(&utc, &when) == 0;
}

}  // namespace kestrune
