// The history writer: handing a row over never waits for the file, a lock
// that another process holds for a while delays the row but not the
// caller, and a lock held past every attempt drops the row with its cause.
#include "history/history_writer.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "history/history_database.h"
#include "testing/temp_folder.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kestrune {
namespace {

using namespace std::chrono_literals;
using testing_support::TempFolder;

HistoryRow RowOf(const std::string& serial) {
  HistoryRow row;
  row.startUtc = "2026-12-11T10:00:00.000Z";
  row.endUtc = "2026-12-11T10:00:16.000Z";
  row.program = "kestrune-update";
  row.serial = serial;
  row.port = "/dev/ttyACM0";
  row.firmwareVersion = "2.418";
  row.reason = "done";
  return row;
}

std::size_t RowsIn(const std::u16string& path) {
  HistoryDatabase database(path, 1000ms);
  std::vector<HistoryRow> rows;
  std::string error;
  EXPECT_TRUE(database.Query({}, rows, error)) << error;
  return rows.size();
}

class Notes {
 public:
  std::function<void(const std::string&)> Sink() {
    return [this](const std::string& note) {
      std::lock_guard<std::mutex> lock(mutex_);
      notes_.push_back(note);
    };
  }
  std::vector<std::string> Taken() {
    std::lock_guard<std::mutex> lock(mutex_);
    return notes_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> notes_;
};

TEST(HistoryWriter, RowsPostedAreWrittenByTheWritersThread) {
  TempFolder folder("history-writer");
  const std::u16string path = (folder.path() / "history.sqlite").u16string();
  Notes notes;
  {
    HistoryWriter writer(path, 500ms, notes.Sink());
    for (int i = 0; i < 20; ++i) writer.Post(RowOf("KW-" + std::to_string(i)));
    EXPECT_TRUE(writer.Flush(10s));
  }
  EXPECT_EQ(RowsIn(path), 20u);
  EXPECT_TRUE(notes.Taken().empty());
}

#ifndef _WIN32
// Another process that holds the file's write lock for `hold`, from the
// moment the constructor returns.
class LockHolder {
 public:
  LockHolder(const std::u16string& path, std::chrono::milliseconds hold) {
    {
      HistoryDatabase make(path, 1000ms);  // the file and its tables exist first
      std::vector<HistoryRow> rows;
      std::string error;
      make.Query({}, rows, error);
    }
    int ready[2];
    if (pipe(ready) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      sqlite3* db = nullptr;
      const std::string file(path.begin(), path.end());  // ASCII temp path
      sqlite3_open(file.c_str(), &db);
      const int locked = sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
      const char answer = locked == SQLITE_OK ? 'L' : 'F';
      (void)!write(ready[1], &answer, 1);
      usleep(static_cast<useconds_t>(hold.count() * 1000));
      sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
      sqlite3_close(db);
      _exit(0);
    }
    close(ready[1]);
    char answer = 0;
    (void)!read(ready[0], &answer, 1);
    close(ready[0]);
    locked_ = answer == 'L';
  }
  ~LockHolder() {
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  bool Locked() const { return locked_; }

 private:
  pid_t pid_ = -1;
  bool locked_ = false;
};

TEST(HistoryWriter, ALockHeldByAnotherProcessDelaysTheRowNotTheCaller) {
  TempFolder folder("history-writer");
  const std::u16string path = (folder.path() / "history.sqlite").u16string();
  Notes notes;
  HistoryWriter writer(path, 400ms, notes.Sink());  // three attempts: up to 1.2 s
  {
    LockHolder holder(path, 700ms);
    ASSERT_TRUE(holder.Locked());
    const auto before = std::chrono::steady_clock::now();
    writer.Post(RowOf("KW-0001"));
    const auto took = std::chrono::steady_clock::now() - before;
    // Far below one busy attempt (400 ms), which a Post that waited on the
    // lock would take; a loaded machine may still take some milliseconds.
    EXPECT_LT(took, 200ms);
    EXPECT_TRUE(writer.Flush(10s));
  }
  EXPECT_EQ(RowsIn(path), 1u);
  EXPECT_TRUE(notes.Taken().empty());
}

TEST(HistoryWriter, ALockHeldPastEveryAttemptDropsTheRowWithItsCause) {
  TempFolder folder("history-writer");
  const std::u16string path = (folder.path() / "history.sqlite").u16string();
  Notes notes;
  HistoryWriter writer(path, 100ms, notes.Sink());  // three attempts: about 0.3 s
  {
    LockHolder holder(path, 1500ms);
    ASSERT_TRUE(holder.Locked());
    writer.Post(RowOf("KW-0001"));
    EXPECT_TRUE(writer.Flush(10s));
  }
  EXPECT_EQ(RowsIn(path), 0u);
  const std::vector<std::string> taken = notes.Taken();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_NE(taken[0].find("watch KW-0001"), std::string::npos) << taken[0];
  EXPECT_NE(taken[0].find("locked"), std::string::npos) << taken[0];
}
#endif

}  // namespace
}  // namespace kestrune
