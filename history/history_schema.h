#pragma once
// The history file's tables and how an older file is brought up to them.
// The file's user_version says which migrations it has had; each one runs
// once, in order, in a transaction of its own.

#include <string>

struct sqlite3;

namespace kestrune {

// The layout this program writes; a file from a newer program (a higher
// version) is read and written as far as its columns allow, never migrated
// down.
inline constexpr int kHistorySchemaVersion = 2;

// Applies every migration the file has not had. False with `error` set
// when one fails (the file is then as it was before that migration); the
// SQLite result code of the failure in `code`.
bool MigrateHistorySchema(sqlite3* db, std::string& error, int& code);

}  // namespace kestrune
