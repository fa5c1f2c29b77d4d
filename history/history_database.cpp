#include "history/history_database.h"

#include <sqlite3.h>

#include <filesystem>
#include <system_error>
#include <utility>

#include "history/history_schema.h"
#include "update/utc_time.h"
#include "update/text_conversion.h"

namespace kestrune {
namespace {

bool IsDamaged(int code) {
  const int primary = code & 0xff;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// A prepared statement, finalized on every path.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    code_ = sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr);
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Prepared() const { return code_ == SQLITE_OK; }
  int Code() const { return code_; }
  sqlite3_stmt* Get() const { return statement_; }
  void Bind(int index, const std::string& text) {
    sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
  }
  void Bind(int index, std::int64_t value) { sqlite3_bind_int64(statement_, index, value); }
  std::string Error() const { return sqlite3_errmsg(db_); }

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
  int code_;
};

std::string Text(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  return text != nullptr
             ? std::string(reinterpret_cast<const char*>(text),
                           static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
             : std::string();
}

constexpr char kColumns[] =
    "start_utc, end_utc, program, program_version, host, serial, port, location, "
    "firmware_version, images, reason, blocks_written, read_back, log_tag";

HistoryRow RowAt(sqlite3_stmt* statement) {
  HistoryRow row;
  row.startUtc = Text(statement, 0);
  row.endUtc = Text(statement, 1);
  row.program = Text(statement, 2);
  row.programVersion = Text(statement, 3);
  row.host = Text(statement, 4);
  row.serial = Text(statement, 5);
  row.port = Text(statement, 6);
  row.location = Text(statement, 7);
  row.firmwareVersion = Text(statement, 8);
  row.images = ParseImagesText(Text(statement, 9));
  row.reason = Text(statement, 10);
  row.blocksWritten = static_cast<std::uint32_t>(sqlite3_column_int64(statement, 11));
  row.readBack = Text(statement, 12);
  row.logTag = Text(statement, 13);
  return row;
}

// Reads every row `statement` gives into `rows`; the last step's code.
int ReadRows(Statement& statement, std::vector<HistoryRow>& rows) {
  int code;
  while ((code = sqlite3_step(statement.Get())) == SQLITE_ROW)
    rows.push_back(RowAt(statement.Get()));
  return code == SQLITE_DONE ? SQLITE_OK : code;
}

}  // namespace

HistoryDatabase::HistoryDatabase(std::u16string path, std::chrono::milliseconds busyTimeout,
                                 std::function<void(const std::string&)> note)
    : path_(std::move(path)), busyTimeout_(busyTimeout), note_(std::move(note)) {}

HistoryDatabase::~HistoryDatabase() { Close(); }

void HistoryDatabase::Close() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
}

bool HistoryDatabase::Open(std::string& error) { return Open(error, false); }

bool HistoryDatabase::Open(std::string& error, bool damagedFileMoved) {
  if (db_ != nullptr) return true;
  if (path_.empty()) {
    error = "there is no user data folder";
    return false;
  }
  const std::string path = WideToUtf8Text(path_);
  const int opened =
      sqlite3_open_v2(path.c_str(), &db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
  if (opened != SQLITE_OK) {
    error = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(opened);
    Close();
    return false;
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, static_cast<int>(busyTimeout_.count()));
  // WAL: a program reading the history never waits for one writing it.
  // NORMAL is durable enough for a record and spares a sync per row.
  char* message = nullptr;
  int code = sqlite3_exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr,
                          nullptr, &message);
  if (code != SQLITE_OK) {
    error = message != nullptr ? message : sqlite3_errstr(code);
    sqlite3_free(message);
    if (IsDamaged(code) && !damagedFileMoved) {
      Close();
      MoveDamagedFileAside(error);
      return Open(error, true);
    }
    // A read-only file stays in its journal mode and can still be read.
  }
  if (!MigrateHistorySchema(db_, error, code)) {
    if (IsDamaged(code)) {
      Close();
      if (damagedFileMoved) return false;  // it could be neither moved nor removed
      MoveDamagedFileAside(error);
      return Open(error, true);
    }
    // A file that cannot be migrated (locked, read-only) is still read as it is.
    if (code != SQLITE_READONLY && (code & 0xff) != SQLITE_READONLY) {
      Close();
      return false;
    }
  }
  return true;
}

void HistoryDatabase::MoveDamagedFileAside(const std::string& why) {
  namespace fs = std::filesystem;
  const fs::path file(path_);
  std::string stamp = IsoUtcTime(std::chrono::system_clock::now());
  for (char& c : stamp) {
    if (c == ':') c = '-';
  }
  fs::path aside = file;
  aside += u".damaged-" + Utf8ToWideText(stamp);
  std::error_code failed;
  fs::rename(file, aside, failed);
  // The log files belong to the damaged file and would be replayed into the new one.
  std::error_code ignored;
  fs::remove(fs::path(path_ + u"-wal"), ignored);
  fs::remove(fs::path(path_ + u"-shm"), ignored);
  if (!note_) return;
  if (failed) {
    fs::remove(file, failed);
    note_("history: " + WideToUtf8Text(file.filename().u16string()) + " is damaged (" + why +
          "); it could not be moved aside, so it was removed; a new one begins");
  } else {
    note_("history: " + WideToUtf8Text(file.filename().u16string()) + " is damaged (" + why +
          "); moved aside to " + WideToUtf8Text(aside.filename().u16string()) +
          ", a new one begins");
  }
}

bool HistoryDatabase::WithFile(const std::function<int(std::string& error)>& operation,
                               std::string& error) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!Open(error)) return false;
    const int code = operation(error);
    if (code == SQLITE_OK) return true;
    if (!IsDamaged(code) || attempt > 0) return false;
    Close();
    MoveDamagedFileAside(error);
  }
  return false;
}

bool HistoryDatabase::Append(const HistoryRow& row, std::string& error) {
  return WithFile(
      [&](std::string& why) {
        Statement insert(db_, (std::string("INSERT INTO runs (") + kColumns +
                               ") VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)")
                                  .c_str());
        if (!insert.Prepared()) {
          why = insert.Error();
          return insert.Code();
        }
        insert.Bind(1, row.startUtc);
        insert.Bind(2, row.endUtc);
        insert.Bind(3, row.program);
        insert.Bind(4, row.programVersion);
        insert.Bind(5, row.host);
        insert.Bind(6, row.serial);
        insert.Bind(7, row.port);
        insert.Bind(8, row.location);
        insert.Bind(9, row.firmwareVersion);
        insert.Bind(10, ImagesText(row.images));
        insert.Bind(11, row.reason);
        insert.Bind(12, static_cast<std::int64_t>(row.blocksWritten));
        insert.Bind(13, row.readBack);
        insert.Bind(14, row.logTag);
        const int code = sqlite3_step(insert.Get());
        if (code == SQLITE_DONE) return SQLITE_OK;
        why = insert.Error();
        return code;
      },
      error);
}

bool HistoryDatabase::Query(const HistoryFilter& filter, std::vector<HistoryRow>& rows,
                            std::string& error) {
  return WithFile(
      [&](std::string& why) {
        rows.clear();
        std::string sql = std::string("SELECT ") + kColumns + " FROM runs WHERE 1";
        if (!filter.serial.empty()) sql += " AND serial = ?1";
        if (!filter.sinceUtc.empty()) sql += " AND end_utc >= ?2";
        sql += " ORDER BY end_utc DESC, id DESC";
        Statement select(db_, sql.c_str());
        if (!select.Prepared()) {
          why = select.Error();
          return select.Code();
        }
        if (!filter.serial.empty()) select.Bind(1, filter.serial);
        if (!filter.sinceUtc.empty()) select.Bind(2, filter.sinceUtc);
        const int code = ReadRows(select, rows);
        if (code != SQLITE_OK) why = select.Error();
        return code;
      },
      error);
}

std::optional<HistoryRow> HistoryDatabase::LastRunOf(const std::string& serial,
                                                     std::string& error) {
  std::vector<HistoryRow> rows;
  const bool read = WithFile(
      [&](std::string& why) {
        rows.clear();
        Statement select(db_, (std::string("SELECT ") + kColumns +
                               " FROM runs WHERE serial = ?1 AND reason NOT IN (?2, ?3)"
                               " ORDER BY end_utc DESC, id DESC LIMIT 1")
                                  .c_str());
        if (!select.Prepared()) {
          why = select.Error();
          return select.Code();
        }
        select.Bind(1, serial);
        select.Bind(2, std::string(kAlreadyCurrentReason));
        select.Bind(3, std::string("interrupted"));
        const int code = ReadRows(select, rows);
        if (code != SQLITE_OK) why = select.Error();
        return code;
      },
      error);
  if (!read || rows.empty()) return std::nullopt;
  return rows.front();
}

}  // namespace kestrune
