// The history file: rows read back as written, newest first and filtered,
// an older file migrated with its rows kept, a damaged file moved aside,
// and two processes appending at once losing nothing.
#include "history/history_database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "history/history_schema.h"
#include "testing/temp_folder.h"
#include "testing/whole_file.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kestrune {
namespace {

using testing_support::TempFolder;

HistoryRow SampleRow(const std::string& serial, const std::string& end,
                     const std::string& reason = "done") {
  HistoryRow row;
  row.startUtc = end.substr(0, 17) + "00.000Z";
  row.endUtc = end;
  row.program = "kestrune-update";
  row.programVersion = "1.0.0.1";
  row.host = "desk-3";
  row.serial = serial;
  row.port = "/dev/ttyACM0";
  row.location = "1-1.4";
  row.firmwareVersion = "2.418";
  row.images = {{8192, std::string(64, 'a')}, {5000, std::string(64, 'b')}};
  row.reason = reason;
  row.blocksWritten = 4;
  row.readBack = "not asked";
  row.logTag = "[watch " + serial + "]";
  return row;
}

std::u16string FileIn(const TempFolder& folder) {
  return (folder.path() / "history.sqlite").u16string();
}

TEST(HistoryDatabase, RowsReadBackAsWrittenNewestFirst) {
  TempFolder folder("history-db");
  HistoryDatabase database(FileIn(folder), std::chrono::milliseconds(500));
  std::string error;
  const HistoryRow first = SampleRow("KW-0001", "2026-12-10T09:00:05.000Z");
  const HistoryRow second = SampleRow("KW-0002", "2026-12-11T07:30:02.125Z", "block_refused");
  ASSERT_TRUE(database.Append(first, error)) << error;
  ASSERT_TRUE(database.Append(second, error)) << error;

  std::vector<HistoryRow> rows;
  ASSERT_TRUE(database.Query({}, rows, error)) << error;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].serial, "KW-0002");
  EXPECT_EQ(rows[0].reason, "block_refused");
  const HistoryRow& back = rows[1];
  EXPECT_EQ(back.startUtc, first.startUtc);
  EXPECT_EQ(back.endUtc, first.endUtc);
  EXPECT_EQ(back.host, "desk-3");
  EXPECT_EQ(back.location, "1-1.4");
  EXPECT_EQ(back.images, first.images);
  EXPECT_EQ(back.blocksWritten, 4u);
  EXPECT_EQ(back.logTag, "[watch KW-0001]");
}

TEST(HistoryDatabase, QueryPicksOneWatchAndRunsSinceADate) {
  TempFolder folder("history-db");
  HistoryDatabase database(FileIn(folder), std::chrono::milliseconds(500));
  std::string error;
  for (const auto& [serial, end] :
       std::vector<std::pair<std::string, std::string>>{{"KW-0001", "2026-12-09T10:00:00.000Z"},
                                                        {"KW-0002", "2026-12-10T10:00:00.000Z"},
                                                        {"KW-0001", "2026-12-11T10:00:00.000Z"}}) {
    ASSERT_TRUE(database.Append(SampleRow(serial, end), error)) << error;
  }
  std::vector<HistoryRow> rows;
  ASSERT_TRUE(database.Query({"KW-0001", ""}, rows, error)) << error;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].endUtc, "2026-12-11T10:00:00.000Z");
  EXPECT_EQ(rows[1].endUtc, "2026-12-09T10:00:00.000Z");

  ASSERT_TRUE(database.Query({"", "2026-12-10"}, rows, error)) << error;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].serial, "KW-0002");
  ASSERT_TRUE(database.Query({"KW-0001", "2026-12-10T10:00"}, rows, error)) << error;
  EXPECT_EQ(rows.size(), 1u);
}

TEST(HistoryDatabase, LastRunPassesOverRunsThatNeverMetTheWatch) {
  TempFolder folder("history-db");
  HistoryDatabase database(FileIn(folder), std::chrono::milliseconds(500));
  std::string error;
  ASSERT_TRUE(database.Append(SampleRow("KW-0001", "2026-12-10T10:00:00.000Z"), error));
  ASSERT_TRUE(
      database.Append(SampleRow("KW-0001", "2026-12-11T10:00:00.000Z", "already_current"), error));
  ASSERT_TRUE(
      database.Append(SampleRow("KW-0001", "2026-12-11T11:00:00.000Z", "interrupted"), error));
  ASSERT_TRUE(
      database.Append(SampleRow("KW-0002", "2026-12-11T12:00:00.000Z", "watch_silent"), error));
  const auto last = database.LastRunOf("KW-0001", error);
  ASSERT_TRUE(last.has_value()) << error;
  EXPECT_EQ(last->endUtc, "2026-12-10T10:00:00.000Z");
  EXPECT_FALSE(database.LastRunOf("KW-0003", error).has_value());
}

TEST(HistoryDatabase, AFileOfTheFirstLayoutIsMigratedWithItsRows) {
  TempFolder folder("history-db");
  const std::string path = (folder.path() / "history.sqlite").string();
  {
    // The first layout as an earlier program left it: the table, no index.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE runs (id INTEGER PRIMARY KEY, start_utc TEXT NOT NULL,"
                           " end_utc TEXT NOT NULL, program TEXT NOT NULL, program_version TEXT"
                           " NOT NULL, host TEXT NOT NULL, serial TEXT NOT NULL, port TEXT NOT"
                           " NULL, location TEXT NOT NULL, firmware_version TEXT NOT NULL, images"
                           " TEXT NOT NULL, reason TEXT NOT NULL, blocks_written INTEGER NOT NULL,"
                           " read_back TEXT NOT NULL, log_tag TEXT NOT NULL);"
                           "INSERT INTO runs VALUES (1,'a','2026-01-01T00:00:00.000Z','p','v','h',"
                           "'KW-OLD','port','loc','1.0','4096:ff','done',1,'not asked','');"
                           "PRAGMA user_version = 1;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  HistoryDatabase database(FileIn(folder), std::chrono::milliseconds(500));
  std::string error;
  std::vector<HistoryRow> rows;
  ASSERT_TRUE(database.Query({"KW-OLD", ""}, rows, error)) << error;
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].images, (std::vector<ImageDigest>{{4096, "ff"}}));

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* statement = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db,
                               "SELECT (SELECT user_version FROM pragma_user_version),"
                               " (SELECT count(*) FROM sqlite_master WHERE name='runs_by_serial')",
                               -1, &statement, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(statement, 0), kHistorySchemaVersion);
  EXPECT_EQ(sqlite3_column_int(statement, 1), 1);
  sqlite3_finalize(statement);
  sqlite3_close(db);
}

TEST(HistoryDatabase, ADamagedFileIsMovedAsideAndANewOneBegun) {
  TempFolder folder("history-db");
  const std::string garbage(8192, 'x');
  testing_support::WriteWholeFile(folder.path() / "history.sqlite", garbage);
  std::vector<std::string> notes;
  HistoryDatabase database(FileIn(folder), std::chrono::milliseconds(500),
                           [&notes](const std::string& note) { notes.push_back(note); });
  std::string error;
  ASSERT_TRUE(database.Append(SampleRow("KW-0001", "2026-12-11T10:00:00.000Z"), error)) << error;
  std::vector<HistoryRow> rows;
  ASSERT_TRUE(database.Query({}, rows, error)) << error;
  EXPECT_EQ(rows.size(), 1u);

  std::vector<std::filesystem::path> aside;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    if (entry.path().filename().string().rfind("history.sqlite.damaged-", 0) == 0)
      aside.push_back(entry.path());
  }
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(testing_support::ReadWholeFile(aside[0]), garbage);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find("is damaged"), std::string::npos) << notes[0];
  EXPECT_NE(notes[0].find(aside[0].filename().string()), std::string::npos) << notes[0];
}

#ifndef _WIN32
TEST(HistoryDatabase, TwoProcessesAppendingAtOnceLoseNoRow) {
  TempFolder folder("history-db");
  constexpr int kRowsEach = 150;
  pid_t children[2];
  for (int child = 0; child < 2; ++child) {
    children[child] = fork();
    ASSERT_GE(children[child], 0);
    if (children[child] == 0) {
      HistoryDatabase database(FileIn(folder), std::chrono::milliseconds(5000));
      std::string error;
      int failed = 0;
      for (int i = 0; i < kRowsEach; ++i) {
        if (!database.Append(SampleRow("KW-" + std::to_string(child), "2026-12-11T10:00:00.000Z"),
                             error)) {
          ++failed;
        }
      }
      _exit(failed == 0 ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  HistoryDatabase database(FileIn(folder), std::chrono::milliseconds(500));
  std::string error;
  for (const char* serial : {"KW-0", "KW-1"}) {
    std::vector<HistoryRow> rows;
    ASSERT_TRUE(database.Query({serial, ""}, rows, error)) << error;
    EXPECT_EQ(rows.size(), static_cast<std::size_t>(kRowsEach)) << serial;
  }
}
#endif

}  // namespace
}  // namespace kestrune
