#include <windows.h>

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
  HANDLE file = CreateFileW(Wide(path), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

bool ReplaceLogFile(const std::u16string& from, const std::u16string& to) {
  return MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool BreakDownTime(std::time_t when, std::tm& local, std::tm& utc) {
  return localtime_s(&local, &when) == 0 && gmtime_s(&utc, &when) == 0;
}

}  // namespace kestrune
