#include "history/history_schema.h"

#include <sqlite3.h>

namespace kestrune {
namespace {

// Migration N takes a file from user_version N - 1 to N. Never change one
// that has shipped: add another.
constexpr const char* kMigrations[] = {
    // 1: one row per watch per run.
    "CREATE TABLE runs ("
    " id INTEGER PRIMARY KEY,"
    " start_utc TEXT NOT NULL,"
    " end_utc TEXT NOT NULL,"
    " program TEXT NOT NULL,"
    " program_version TEXT NOT NULL,"
    " host TEXT NOT NULL,"
    " serial TEXT NOT NULL,"
    " port TEXT NOT NULL,"
    " location TEXT NOT NULL,"
    " firmware_version TEXT NOT NULL,"
    " images TEXT NOT NULL,"
    " reason TEXT NOT NULL,"
    " blocks_written INTEGER NOT NULL,"
    " read_back TEXT NOT NULL,"
    " log_tag TEXT NOT NULL);",
    // 2: a watch's runs found without reading the whole table (history
    // --serial, the already-current look-up).
    "CREATE INDEX runs_by_serial ON runs (serial, end_utc);",
};

int UserVersion(sqlite3* db) {
  sqlite3_stmt* statement = nullptr;
  int version = -1;
  if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    version = sqlite3_column_int(statement, 0);
  }
  sqlite3_finalize(statement);
  return version;
}

bool Execute(sqlite3* db, const std::string& sql, std::string& error, int& code) {
  char* message = nullptr;
  code = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  if (code == SQLITE_OK) return true;
  error = message != nullptr ? message : sqlite3_errstr(code);
  sqlite3_free(message);
  return false;
}

}  // namespace

bool MigrateHistorySchema(sqlite3* db, std::string& error, int& code) {
  constexpr int kCount = static_cast<int>(sizeof kMigrations / sizeof kMigrations[0]);
  static_assert(kCount == kHistorySchemaVersion, "one migration per schema version");
  for (;;) {
    const int version = UserVersion(db);
    if (version < 0) {
      code = sqlite3_errcode(db);
      error = std::string("reading the schema version: ") + sqlite3_errmsg(db);
      return false;
    }
    if (version >= kCount) return true;
    // IMMEDIATE: of two programs opening a new file at once, one migrates
    // and the other then finds it done.
    if (!Execute(db, "BEGIN IMMEDIATE", error, code)) return false;
    if (UserVersion(db) != version) {  // another program migrated meanwhile
      Execute(db, "ROLLBACK", error, code);
      continue;
    }
    const std::string step = std::string(kMigrations[version]) +
                             "PRAGMA user_version = " + std::to_string(version + 1) + ";";
    if (!Execute(db, step, error, code)) {
      std::string ignored;
      int ignoredCode = 0;
      Execute(db, "ROLLBACK", ignored, ignoredCode);
      error = "migration " + std::to_string(version + 1) + ": " + error;
      return false;
    }
    if (!Execute(db, "COMMIT", error, code)) return false;
  }
}

}  // namespace kestrune
