#pragma once
// The run log: update.log in the user data folder, one UTF-8 line per event
// of an update check or an update run, each beginning with the local time
// (ISO 8601 with the offset). Support reads it to tell one failure from
// another. Writing it never throws and never stops a run: a line that cannot
// be written is dropped. The file is capped: once it would pass about 1 MiB
// it becomes update.log.1 (replacing the older one) and a new file begins.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace kestrune {

// The program's version, the project's version in the top-level build file.
extern const char kProgramVersion[];

// File name of the log in the user data folder; its older half gets ".1".
inline constexpr char16_t kRunLogName[] = u"update.log";

// A log grows to about this size before it is rotated.
inline constexpr std::uint64_t kRunLogCapBytes = 1024 * 1024;

// A line's text (after the time) is cut at about this size and marked.
inline constexpr std::size_t kRunLogLineBytes = 4096;

class RunLog {
 public:
  // Appends to the file at `path`; rotates to `path`.1.
  explicit RunLog(std::u16string path, std::uint64_t capBytes = kRunLogCapBytes);

  // Appends one line: the local time, a space, `message` (UTF-8). Control
  // characters and line ends in it (ESC, \v, \f, \r, \n, NEL, U+2028,
  // U+2029) are written escaped ("\x1b", "\u2028"), so one event stays one
  // line whatever came from the service; a message longer than
  // kRunLogLineBytes is cut and marked "… [cut, N bytes]".
  void Write(const std::string& message) noexcept;

  // Also hands every line written from now on (time and text, no line end)
  // to `echo`, outside the log's lock, before the line goes to the file.
  // What `echo` throws is dropped with it.
  void SetEcho(std::function<void(const std::string& line)> echo);

 private:
  std::u16string path_;
  std::uint64_t capBytes_;
  std::function<void(const std::string&)> echo_;
  std::mutex mutex_;  // lines of two workers never interleave
};

// The log in the user data folder, shared by everything in the process.
// Its folder is resolved on first use; without a data folder every line is
// dropped.
RunLog& UserRunLog();

// Writes to UserRunLog(); never throws.
void WriteRunLog(const std::string& message) noexcept;

// "2026-12-10T14:03:07.512+01:00": the local time of `when` with its offset
// from UTC.
std::string LocalTimestamp(std::chrono::system_clock::time_point when);

// "kestrune 1.0.0.1 (linux x86_64)": what ran, for the first line of a run.
std::string ProgramIdentity(const std::string& programName);

// "[watch 52F0A1B2]", or "[watch /dev/ttyACM1]" for a watch without a USB
// serial number: what every line of one watch's run carries when several
// watches are written at once, so their interleaved lines can be told
// apart. Spaces, brackets and bytes outside printable ASCII show as '?'.
std::string WatchLogTag(const std::string& serial, const std::string& port);

}  // namespace kestrune
