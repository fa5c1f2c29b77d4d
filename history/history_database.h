#pragma once
// The service history file, history.sqlite in the user data folder: one row
// per watch per run, written by every program of this computer's user. It
// runs in write-ahead-log mode (readers never wait for a writer), waits a
// bounded time for another program's lock, and brings an older file up to
// the current schema. A file SQLite finds damaged is moved aside
// (history.sqlite.damaged-<time>) and a new one begun, so a broken file
// costs its rows, never the updates.

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "history/history_row.h"

struct sqlite3;

namespace kestrune {

// File name in the user data folder.
inline constexpr char16_t kHistoryFileName[] = u"history.sqlite";

// Which rows a query gives, newest first.
struct HistoryFilter {
  std::string serial;    // only this watch's; empty: every watch's
  std::string sinceUtc;  // only runs that ended at or after this UTC time ("2026-12-11",
                         // "2026-12-11T07:30"); empty: all
};

class HistoryDatabase {
 public:
  // Nothing is opened yet: the first operation opens (and creates, and
  // migrates) the file at `path`. Each waits at most `busyTimeout` for a
  // lock another program holds. `note` hears what support should read in
  // the run log (a damaged file moved aside).
  HistoryDatabase(std::u16string path, std::chrono::milliseconds busyTimeout,
                  std::function<void(const std::string&)> note = {});
  ~HistoryDatabase();
  HistoryDatabase(const HistoryDatabase&) = delete;
  HistoryDatabase& operator=(const HistoryDatabase&) = delete;

  // Appends `row`; false with `error` saying why ("database is locked",
  // "attempt to write a readonly database", "database or disk is full").
  bool Append(const HistoryRow& row, std::string& error);

  // The rows `filter` picks, newest first; false with `error` when the file
  // cannot be read.
  bool Query(const HistoryFilter& filter, std::vector<HistoryRow>& rows, std::string& error);

  // The last run of the watch with `serial` that met the watch (not one
  // that found it already current, nor one interrupted before writing);
  // nullopt when there is none or the file cannot be read (`error` then
  // says why).
  std::optional<HistoryRow> LastRunOf(const std::string& serial, std::string& error);

 private:
  bool Open(std::string& error);
  // Once a damaged file has been moved aside, a new one that is damaged too
  // is given up rather than moved again.
  bool Open(std::string& error, bool damagedFileMoved);
  void Close();
  // Runs `operation` on an open file; a file found damaged, on opening or
  // by the operation, is moved aside and the operation tried once more on a
  // new one.
  bool WithFile(const std::function<int(std::string& error)>& operation, std::string& error);
  void MoveDamagedFileAside(const std::string& why);

  std::u16string path_;
  std::chrono::milliseconds busyTimeout_;
  std::function<void(const std::string&)> note_;
  sqlite3* db_ = nullptr;
};

}  // namespace kestrune
