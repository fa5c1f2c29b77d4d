#include "update/run_log.h"

#include <cstdio>
#include <ctime>
#include <utility>

#include "report/report_drain.h"
#include "update/run_log_platform.h"
#include "update/text_conversion.h"
#include "update/user_data_folder.h"

namespace kestrune {

const char kProgramVersion[] = KESTRUNE_PROGRAM_VERSION;

namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
  year -= month <= 2;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

long long SecondsOf(const std::tm& t) {
  return DaysFromCivil(t.tm_year + 1900LL, static_cast<unsigned>(t.tm_mon + 1),
                       static_cast<unsigned>(t.tm_mday)) *
             86400LL +
         t.tm_hour * 3600LL + t.tm_min * 60LL + t.tm_sec;
}

// The escaped form of the character that starts at `text[at]` (its length
// in `length`), or empty when it is written as it is. Control characters,
// everything that editors and line splitters take as a line end (NEL, LS,
// PS) and the bidirectional controls are escaped visibly, so text from the
// service can neither break a line, forge one, nor disguise one.
std::string EscapeAt(const std::string& text, std::size_t at, std::size_t& length) {
  const unsigned char c = static_cast<unsigned char>(text[at]);
  char escaped[8];
  length = 1;
  if (c < 0x20 || c == 0x7f) {
    std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
    return escaped;
  }
  // U+0080..U+009F (NEL among them): C2 80..C2 9F.
  if (c == 0xc2 && at + 1 < text.size()) {
    const unsigned char next = static_cast<unsigned char>(text[at + 1]);
    if (next >= 0x80 && next <= 0x9f) {
      length = 2;
      std::snprintf(escaped, sizeof escaped, "\\u%04x", next);
      return escaped;
    }
  }
  // U+2028 and U+2029, and the bidirectional embeddings, overrides
  // (U+202A..U+202E) and isolates (U+2066..U+2069), which reorder the rest
  // of a line as an editor or terminal shows it: all are E2 8x xx.
  if (c == 0xe2 && at + 2 < text.size()) {
    const unsigned char second = static_cast<unsigned char>(text[at + 1]);
    const unsigned char third = static_cast<unsigned char>(text[at + 2]);
    const unsigned point = 0x2000u | ((second & 0x3fu) << 6) | (third & 0x3fu);
    if ((second & 0xc0) == 0x80 && (third & 0xc0) == 0x80 &&
        ((point >= 0x2028 && point <= 0x202e) || (point >= 0x2066 && point <= 0x2069))) {
      length = 3;
      std::snprintf(escaped, sizeof escaped, "\\u%04x", point);
      return escaped;
    }
  }
  // The rest of a multi-byte character goes whole, so a cut never splits it.
  if (c >= 0xc0) {
    while (at + length < text.size() && (text[at + length] & 0xc0) == 0x80 && length < 4) {
      ++length;
    }
  }
  return text.substr(at, length);
}

// `message` as one line of at most kRunLogLineBytes bytes: escaped, and cut
// and marked when longer.
std::string OneLine(const std::string& message) {
  std::string line;
  std::size_t at = 0;
  while (at < message.size()) {
    std::size_t length = 0;
    const std::string piece = EscapeAt(message, at, length);
    if (line.size() + piece.size() > kRunLogLineBytes) break;
    line += piece;
    at += length;
  }
  if (at < message.size()) {
    line += "\xe2\x80\xa6 [cut, " + std::to_string(message.size() - at) + " bytes]";
  }
  return line;
}

}  // namespace

RunLog::RunLog(std::u16string path, std::uint64_t capBytes, RunLogWriting writing,
               std::chrono::milliseconds lockWait)
    : path_(std::move(path)),
      capBytes_(capBytes),
      lockWait_(lockWait),
      writer_(writing == RunLogWriting::kOnItsOwnThread ? std::make_unique<ReportDrain>()
                                                        : nullptr) {}

// Long enough for a line that waits for the lock and the lines behind it.
RunLog::~RunLog() { Flush(lockWait_ + std::chrono::seconds(3)); }

void RunLog::Write(const std::string& message) noexcept {
  try {
    // The time of the event, whenever the line reaches the file.
    const std::string line =
        LocalTimestamp(std::chrono::system_clock::now()) + " " + OneLine(message) + "\n";
    std::function<void(const std::string&)> echo;
    {
      std::lock_guard<std::mutex> lock(echoMutex_);
      echo = echo_;
    }
    if (echo) {
      try {
        echo(line.substr(0, line.size() - 1));
      } catch (...) {
      }
    }
    if (path_.empty()) return;
    if (writer_) {
      writer_->Push([this, line] { Append(line); });
    } else {
      Append(line);
    }
  } catch (...) {
    // A line that cannot be made or written is dropped; the run goes on.
  }
}

void RunLog::Append(const std::string& line) noexcept {
  try {
    std::lock_guard<std::mutex> lock(fileMutex_);
    // Every process holds the same lock from the size check to the append,
    // so two of them at the cap never both rotate (one's older half would
    // replace the other's). While another program keeps it past the wait,
    // lines do not wait for it again until it has been had.
    const RunLogLock processes(path_,
                               lockHeldElsewhere_ ? std::chrono::milliseconds(0) : lockWait_);
    if (!processes.Held()) {
      lockHeldElsewhere_ = true;
      if (!saidLockHeld_) {
        saidLockHeld_ = true;
        AppendToLogFile(path_, LocalTimestamp(std::chrono::system_clock::now()) +
                                   " run log: its lock is held by another program past " +
                                   std::to_string(lockWait_.count()) +
                                   " ms; lines are appended without rotating meanwhile\n");
      }
      AppendToLogFile(path_, line);
      return;
    }
    lockHeldElsewhere_ = false;
    if (LogFileSize(path_) + line.size() > capBytes_) {
      ReplaceLogFile(path_, path_ + u".1");
    }
    AppendToLogFile(path_, line);
  } catch (...) {
  }
}

bool RunLog::Flush(std::chrono::milliseconds bound) noexcept {
  try {
    return !writer_ || writer_->WaitUntilDelivered(bound);
  } catch (...) {
    return false;
  }
}

void RunLog::SetEcho(std::function<void(const std::string& line)> echo) {
  std::lock_guard<std::mutex> lock(echoMutex_);
  echo_ = std::move(echo);
}

RunLog& UserRunLog() {
  static RunLog log(UserDataFilePath(kRunLogName), kRunLogCapBytes, RunLogWriting::kOnItsOwnThread);
  return log;
}

void WriteRunLog(const std::string& message) noexcept {
  try {
    UserRunLog().Write(message);
  } catch (...) {
  }
}

std::string LocalTimestamp(std::chrono::system_clock::time_point when) {
  const auto sinceEpoch = when.time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
  long long millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count();
  std::time_t whole = static_cast<std::time_t>(seconds.count());
  if (millis < 0) {  // before 1970: the fraction counts forward from the second before
    millis += 1000;
    --whole;
  }
  std::tm local{};
  std::tm utc{};
  if (!BreakDownTime(whole, local, utc)) return "0000-00-00T00:00:00.000+00:00";
  const long long offsetMinutes = (SecondsOf(local) - SecondsOf(utc)) / 60;
  const long long absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02lld:%02lld",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, static_cast<int>(millis), offsetMinutes < 0 ? '-' : '+',
                absolute / 60, absolute % 60);
  return text;
}

std::string ProgramIdentity(const std::string& programName) {
#if defined(_WIN32)
  const char* platform = "windows";
#elif defined(__linux__)
  const char* platform = "linux";
#else
  const char* platform = "posix";
#endif
#if defined(__x86_64__) || defined(_M_X64)
  const char* machine = "x86_64";
#elif defined(__aarch64__)
  const char* machine = "aarch64";
#else
  const char* machine = "other";
#endif
  return programName + " " + kProgramVersion + " (" + platform + " " + machine + ")";
}

std::string WatchLogTag(const std::string& serial, const std::string& port) {
  std::string tag = "[watch ";
  for (const char c : serial.empty() ? port : serial) {
    const bool plain = c > 0x20 && c < 0x7f && c != '[' && c != ']';
    tag += plain ? c : '?';
  }
  return tag + "]";
}

}  // namespace kestrune
