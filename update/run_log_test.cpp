#include "update/run_log.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "testing/temp_folder.h"
#include "testing/whole_file.h"

namespace kestrune {
namespace {
namespace fs = std::filesystem;
using testing_support::ReadWholeFile;
using testing_support::TempFolder;
using testing_support::WriteWholeFile;

void SetTimeZone(const char* zone) {
#ifdef _WIN32
  _putenv_s("TZ", zone);
  _tzset();
#else
  setenv("TZ", zone, 1);
  tzset();
#endif
}

class RunLogFolder : public testing::Test {
 protected:
  TempFolder folder_{"runlog"};
  const fs::path dir_ = folder_.path();
};

// "2026-12-10T17:30:00.250+05:30": digits where the pattern has 9, the
// offset's sign where it has +.
bool IsTimestamp(const std::string& text) {
  const std::string pattern = "9999-99-99T99:99:99.999+99:99";
  if (text.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char want = pattern[i];
    const char got = text[i];
    if (want == '9'   ? !(got >= '0' && got <= '9')
        : want == '+' ? !(got == '+' || got == '-')
                      : got != want) {
      return false;
    }
  }
  return true;
}

// 2026-12-10 12:00:00.250 UTC.
const std::chrono::system_clock::time_point kNoonUtc =
    std::chrono::system_clock::from_time_t(1796904000) + std::chrono::milliseconds(250);

TEST(RunLogTimestamp, LocalTimeCarriesItsOffsetEastAndWestOfUtc) {
  struct {
    const char* zone;
    const char* expected;
  } cases[] = {
      {"IST-5:30", "2026-12-10T17:30:00.250+05:30"},
      {"EST+5", "2026-12-10T07:00:00.250-05:00"},
      {"UTC0", "2026-12-10T12:00:00.250+00:00"},
  };
  for (const auto& c : cases) {
    SetTimeZone(c.zone);
    EXPECT_EQ(LocalTimestamp(kNoonUtc), c.expected) << c.zone;
  }
}

TEST_F(RunLogFolder, EachWriteIsOneTimestampedLine) {
  RunLog log((dir_ / "update.log").u16string());
  log.Write("update: status 更新錯誤");
  log.Write("two\nlines\r\nbecome one");

  std::istringstream lines(ReadWholeFile(dir_ / "update.log"));
  const std::string expected[] = {" update: status 更新錯誤", " two\\x0alines\\x0d\\x0abecome one"};
  std::string line;
  for (const std::string& message : expected) {
    ASSERT_TRUE(std::getline(lines, line));
    const std::size_t stamp = line.find(' ');
    ASSERT_NE(stamp, std::string::npos) << line;
    EXPECT_TRUE(IsTimestamp(line.substr(0, stamp))) << line;
    EXPECT_EQ(line.substr(stamp), message);
  }
  EXPECT_FALSE(std::getline(lines, line)) << "one line per write";
}

TEST_F(RunLogFolder, AFullLogMovesToItsOlderHalfAndANewOneBegins) {
  const fs::path file = dir_ / "update.log";
  const std::uint64_t cap = 300;
  RunLog log(file.u16string(), cap);
  for (int i = 0; i < 12; ++i) log.Write("event number " + std::to_string(i));

  const std::string current = ReadWholeFile(file);
  const std::string older = ReadWholeFile(dir_ / "update.log.1");
  EXPECT_LE(fs::file_size(file), cap);
  EXPECT_LE(fs::file_size(dir_ / "update.log.1"), cap);
  // The newest line is in the current file, the one before the rotation in
  // the older half, and no line is split between them.
  EXPECT_NE(current.find("event number 11\n"), std::string::npos) << current;
  const std::size_t firstInCurrent = current.find("event number ");
  ASSERT_NE(firstInCurrent, std::string::npos);
  const int first = std::stoi(current.substr(firstInCurrent + 13));
  EXPECT_NE(older.find("event number " + std::to_string(first - 1) + "\n"), std::string::npos)
      << older;
}

// The text after the time of each line in the log at `file`.
std::vector<std::string> LoggedMessages(const fs::path& file) {
  std::vector<std::string> messages;
  std::istringstream lines(ReadWholeFile(file));
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t stamp = line.find(' ');
    messages.push_back(stamp == std::string::npos ? line : line.substr(stamp + 1));
  }
  return messages;
}

// Text from the service (a manifest's version or notes, a URL) can neither
// break a line nor forge one: whatever takes a line end for one (an
// editor, a line splitter, a terminal) sees one line, and the escape shows
// what came.
TEST_F(RunLogFolder, ServiceTextIsEscapedAndCut) {
  const std::string huge(600 * 1024, '7');
  struct {
    std::string message;
    std::string logged;
  } cases[] = {
      {"version 2.418", "version 2.418"},
      {"version 2.4\x1b[2J\x1b]0;owned\x07", "version 2.4\\x1b[2J\\x1b]0;owned\\x07"},
      {"notes a\nupdate: status forged", "notes a\\x0aupdate: status forged"},
      {"notes a\r\n\v\f\tb", "notes a\\x0d\\x0a\\x0b\\x0c\\x09b"},
      {"notes a\xc2\x85"
       "b\xe2\x80\xa8"
       "c\xe2\x80\xa9"
       "d",
       "notes a\\u0085b\\u2028c\\u2029d"},
      {"notes \xc2\x9b"
       "1m \x7f",
       "notes \\u009b1m \\x7f"},
      // Bidirectional embeddings, overrides and isolates would show the
      // rest of the line reordered: the first and last of each range.
      {"notes \xe2\x80\xaa"
       "a\xe2\x80\xae"
       "b\xe2\x81\xa6"
       "c\xe2\x81\xa9"
       "d",
       "notes \\u202aa\\u202eb\\u2066c\\u2069d"},
      // Other characters, and neighbours of the escaped ones, stay as they are.
      {"notes 更新 \xc2\xa0 \xe2\x80\xa7 \xe2\x80\xaf \xe2\x81\xa5 \xe2\x81\xaa",
       "notes 更新 \xc2\xa0 \xe2\x80\xa7 \xe2\x80\xaf \xe2\x81\xa5 \xe2\x81\xaa"},
      {"version " + huge, "version " + huge.substr(0, kRunLogLineBytes - 8) +
                              "\xe2\x80\xa6 [cut, " +
                              std::to_string(huge.size() - (kRunLogLineBytes - 8)) + " bytes]"},
      // A cut never splits an escape or a character.
      {std::string(kRunLogLineBytes - 2, 'a') + "\x1b" + "tail",
       std::string(kRunLogLineBytes - 2, 'a') + "\xe2\x80\xa6 [cut, 5 bytes]"},
      {std::string(kRunLogLineBytes - 1, 'a') + "更",
       std::string(kRunLogLineBytes - 1, 'a') + "\xe2\x80\xa6 [cut, 3 bytes]"},
  };
  const fs::path file = dir_ / "update.log";
  RunLog log(file.u16string(), 16 * 1024 * 1024);
  for (const auto& c : cases) log.Write(c.message);
  const std::vector<std::string> logged = LoggedMessages(file);
  ASSERT_EQ(logged.size(), std::size(cases));
  for (std::size_t i = 0; i < logged.size(); ++i) {
    EXPECT_EQ(logged[i], cases[i].logged) << "case " << i;
    EXPECT_LE(logged[i].size(), kRunLogLineBytes + 40) << "case " << i;
  }
}

#ifndef _WIN32
// Two processes (the window and the command line) that write at the cap at
// once: each rotation happens once, so update.log.1 holds the history just
// before update.log, and of each process's lines only the oldest are gone.
// A lost rotation shows only in the last one or two, so the run is repeated.
TEST_F(RunLogFolder, TwoProcessesAtTheCapKeepTheHistory) {
  const std::uint64_t cap = 1024;
  const int linesEach = 300;
  for (int round = 0; round < 40; ++round) {
    const fs::path folder = dir_ / std::to_string(round);
    fs::create_directory(folder);
    const fs::path file = folder / "update.log";
    // Both begin when the parent closes the pipe, so their writes overlap.
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    pid_t children[2] = {-1, -1};
    for (int writer = 0; writer < 2; ++writer) {
      children[writer] = ::fork();
      ASSERT_GE(children[writer], 0);
      if (children[writer] == 0) {
        ::close(start[1]);
        char byte;
        while (::read(start[0], &byte, 1) > 0) {
        }
        RunLog log(file.u16string(), cap);
        for (int i = 0; i < linesEach; ++i) {
          log.Write("writer " + std::to_string(writer) + " line " + std::to_string(i));
        }
        ::_exit(0);
      }
    }
    ::close(start[0]);
    ::close(start[1]);
    for (const pid_t child : children) {
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    // Oldest first: the older half, then the current file.
    std::vector<std::string> messages = LoggedMessages(folder / "update.log.1");
    ASSERT_GE(fs::file_size(folder / "update.log.1"), cap - 100)
        << "round " << round << ": the older half was full";
    for (const std::string& m : LoggedMessages(file)) messages.push_back(m);
    int next[2] = {-1, -1};  // each writer's next line; -1 before its first
    for (const std::string& m : messages) {
      int writer = -1;
      int line = -1;
      ASSERT_EQ(std::sscanf(m.c_str(), "writer %d line %d", &writer, &line), 2) << m;
      ASSERT_TRUE(writer == 0 || writer == 1) << m;
      if (next[writer] >= 0) {
        ASSERT_EQ(line, next[writer])
            << "round " << round << ": a line of writer " << writer << " is lost";
      }
      next[writer] = line + 1;
    }
    // The last line of the run is there.
    ASSERT_EQ(std::max(next[0], next[1]), linesEach) << "round " << round;
  }
}
#endif

// The lock every process writing the log in `folder` honours, held as
// another program (`flock DIR sleep N`, or a handle on update.log.lock)
// would hold it, until destroyed.
class LockHeldElsewhere {
 public:
  explicit LockHeldElsewhere(const fs::path& folder) {
#ifdef _WIN32
    handle_ =
        CreateFileW((folder / "update.log.lock").wstring().c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    OVERLAPPED at = {};
    held_ = handle_ != INVALID_HANDLE_VALUE &&
            LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) != FALSE;
#else
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    held_ = fd_ >= 0 && ::flock(fd_, LOCK_EX) == 0;
#endif
  }
  ~LockHeldElsewhere() {
#ifdef _WIN32
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
#else
    if (fd_ >= 0) ::close(fd_);
#endif
  }
  bool Held() const { return held_; }

 private:
#ifdef _WIN32
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  int fd_ = -1;
#endif
  bool held_ = false;
};

// Another program holds the lock for good: the first line waits for it a
// bounded time, the lines after it not at all, none is lost, the log says
// once why it did not rotate, and it rotates again once the lock is free.
TEST_F(RunLogFolder, ALockHeldByAnotherProgramCostsOneBoundedWaitAndNoLine) {
  using namespace std::chrono;
  const fs::path file = dir_ / "update.log";
  const milliseconds wait{300};
  RunLog log(file.u16string(), 200, RunLogWriting::kOnTheCallingThread, wait);
  std::vector<milliseconds> took;
  {
    const LockHeldElsewhere other(dir_);
    ASSERT_TRUE(other.Held());
    for (int i = 0; i < 6; ++i) {
      const auto before = steady_clock::now();
      log.Write("event number " + std::to_string(i) + " while the lock is held elsewhere");
      took.push_back(duration_cast<milliseconds>(steady_clock::now() - before));
    }
    EXPECT_GE(took[0], wait);
    EXPECT_LT(took[0], wait + milliseconds(1000));
    for (std::size_t i = 1; i < took.size(); ++i) EXPECT_LT(took[i], milliseconds(100)) << i;
    EXPECT_FALSE(fs::exists(dir_ / "update.log.1")) << "no rotation without the lock";
    const std::vector<std::string> messages = LoggedMessages(file);
    ASSERT_EQ(messages.size(), 7u);
    EXPECT_EQ(messages[0],
              "run log: its lock is held by another program past 300 ms; lines are "
              "appended without rotating meanwhile");
    for (int i = 0; i < 6; ++i) {
      EXPECT_EQ(messages[i + 1],
                "event number " + std::to_string(i) + " while the lock is held elsewhere");
    }
  }
  log.Write("the lock is free again");
  EXPECT_TRUE(fs::exists(dir_ / "update.log.1")) << "the overgrown log rotates";
  EXPECT_EQ(LoggedMessages(file), std::vector<std::string>{"the lock is free again"});
}

// A log written on its own thread: writing a line never waits for the lock
// or the file, and every line is there, in order, once it is free.
TEST_F(RunLogFolder, ALogOnItsOwnThreadNeverHoldsTheWriterUp) {
  using namespace std::chrono;
  const fs::path file = dir_ / "update.log";
  RunLog log(file.u16string(), kRunLogCapBytes, RunLogWriting::kOnItsOwnThread,
             milliseconds(60000));
  milliseconds longest{0};
  {
    const LockHeldElsewhere other(dir_);
    ASSERT_TRUE(other.Held());
    std::thread writer([&] {
      for (int i = 0; i < 200; ++i) {
        const auto before = steady_clock::now();
        log.Write("line " + std::to_string(i));
        longest = std::max(longest, duration_cast<milliseconds>(steady_clock::now() - before));
      }
    });
    writer.join();
    EXPECT_FALSE(log.Flush(milliseconds(100))) << "its thread waits for the lock";
  }
  EXPECT_LT(longest, milliseconds(100));
  ASSERT_TRUE(log.Flush(milliseconds(10000)));
  const std::vector<std::string> messages = LoggedMessages(file);
  ASSERT_EQ(messages.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(messages[i], "line " + std::to_string(i));
}

TEST_F(RunLogFolder, ALogThatCannotBeWrittenIsSkippedQuietly) {
  RunLog log((dir_ / "missing folder" / "update.log").u16string());
  EXPECT_NO_THROW(log.Write("nobody reads this"));
  EXPECT_FALSE(fs::exists(dir_ / "missing folder"));
  RunLog none(u"");
  EXPECT_NO_THROW(none.Write("nor this"));
}

#ifndef _WIN32
// What is planted where update.log belongs never takes a line: not the file
// a link names, nor a FIFO that another program reads.
TEST_F(RunLogFolder, OnlyARegularFileOfItsOwnIsWritten) {
  const fs::path file = dir_ / "update.log";
  const fs::path victim = dir_ / "victim";
  WriteWholeFile(victim, "kept\n");
  fs::create_symlink(victim, file);
  RunLog(file.u16string()).Write("through the link");
  EXPECT_EQ(ReadWholeFile(victim), "kept\n");

  fs::remove(file);
  ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
  const int reader = ::open(file.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  RunLog(file.u16string()).Write("into the pipe");
  char buffer[256];
  EXPECT_LE(::read(reader, buffer, sizeof buffer), 0);
  ::close(reader);
}
#endif

TEST(WatchLogTag, NamesTheSerialNumberOrElseThePort) {
  struct {
    const char* serial;
    const char* port;
    const char* expected;
  } cases[] = {
      {"52F0A1B2", "/dev/ttyACM1", "[watch 52F0A1B2]"},
      {"", "/dev/ttyACM1", "[watch /dev/ttyACM1]"},
      {"", "COM8", "[watch COM8]"},
      // A serial number cannot close the tag early or break the line.
      {"KW] 1\n", "/dev/ttyACM1", "[watch KW??1?]"},
      {"A\x1b[2J", "", "[watch A??2J]"},
      {"\xe6\xbd\x9b", "", "[watch ???]"},
  };
  for (const auto& c : cases) EXPECT_EQ(WatchLogTag(c.serial, c.port), c.expected) << c.serial;
}

}  // namespace
}  // namespace kestrune
