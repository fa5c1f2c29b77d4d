#pragma once
// The run log: update.log in the user data folder, one UTF-8 line per event
// of an update check or an update run, each beginning with the local time
// (ISO 8601 with the offset). Support reads it to tell one failure from
// another. Writing it never throws and never stops a run: a line that cannot
// be written is dropped. The file is capped: once it would pass about 1 MiB
// it becomes update.log.1 (replacing the older one) and a new file begins.
// The size check and the rotation happen under a lock that every process
// writing the log honours; that lock is waited for a bounded time only, and
// a line whose lock another program holds past it is appended without
// rotating: anyone who can open the data folder can hold the lock, and a
// line is never lost to that.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <memory>
#include <string>

namespace kestrune {

class ReportDrain;

// The program's version, the project's version in the top-level build file.
extern const char kProgramVersion[];

// File name of the log in the user data folder; its older half gets ".1".
inline constexpr char16_t kRunLogName[] = u"update.log";

// A log grows to about this size before it is rotated.
inline constexpr std::uint64_t kRunLogCapBytes = 1024 * 1024;

// A line's text (after the time) is cut at about this size and marked.
inline constexpr std::size_t kRunLogLineBytes = 4096;

// How long a line waits for the lock shared by every process writing the
// log before it is appended without it.
inline constexpr std::chrono::milliseconds kRunLogLockWait{2000};

// Where the file is written: by the thread that writes a line, or by a
// thread of the log's own, so that a thread writing a watch never waits for
// the file or its lock.
enum class RunLogWriting { kOnTheCallingThread, kOnItsOwnThread };

class RunLog {
 public:
  // Appends to the file at `path`; rotates to `path`.1.
  explicit RunLog(std::u16string path, std::uint64_t capBytes = kRunLogCapBytes,
                  RunLogWriting writing = RunLogWriting::kOnTheCallingThread,
                  std::chrono::milliseconds lockWait = kRunLogLockWait);
  // Writes the lines still pending (a bounded wait; see Flush).
  ~RunLog();
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // One line: the local time of the call, a space, `message` (UTF-8). Control
  // characters and line ends in it (ESC, \v, \f, \r, \n, NEL, U+2028,
  // U+2029) are written escaped ("\x1b", "\u2028"), so one event stays one
  // line whatever came from the service; a message longer than
  // kRunLogLineBytes is cut and marked "… [cut, N bytes]". With
  // kOnItsOwnThread the line is handed to the log's thread and the call
  // returns at once.
  //
  // The lock shared with other processes is waited for at most `lockWait`;
  // past it the line is appended without the size check (so without
  // rotating), the log says so once, and the lines after it do not wait
  // for the lock until it has been had again.
  void Write(const std::string& message) noexcept;

  // Waits until every line written before the call is in the file, at most
  // `bound`; true when it is. For a program about to end at once.
  bool Flush(std::chrono::milliseconds bound) noexcept;

  // Also hands every line written from now on (time and text, no line end)
  // to `echo`, outside the log's lock, before the line goes to the file.
  // What `echo` throws is dropped with it.
  void SetEcho(std::function<void(const std::string& line)> echo);

 private:
  // Appends one whole line to the file, rotating it first when it is due.
  void Append(const std::string& line) noexcept;

  std::u16string path_;
  std::uint64_t capBytes_;
  std::chrono::milliseconds lockWait_;
  std::mutex echoMutex_;  // echo_
  std::function<void(const std::string&)> echo_;
  std::mutex fileMutex_;            // lines of two threads never interleave; what follows
  bool lockHeldElsewhere_ = false;  // the last line went without the lock
  bool saidLockHeld_ = false;
  std::unique_ptr<ReportDrain> writer_;  // with kOnItsOwnThread
};

// The log in the user data folder, shared by everything in the process,
// written on a thread of its own. Its folder is resolved on first use;
// without a data folder every line is dropped.
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
