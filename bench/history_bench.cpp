// The service history's two costs: writing one row (what the writer's
// thread spends per watch), and `history --serial` over 100,000 rows (the
// query and its JSON lines). Prints each round, then the medians as
// name=value pairs on the last line.
//
// usage: history_bench [ROWS] [ROUNDS]
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "history/history_database.h"
#include "history/history_listing.h"
#include "testing/temp_folder.h"

namespace {

using namespace kestrune;
using Clock = std::chrono::steady_clock;

constexpr int kWatches = 1000;  // the rows spread over this many serial numbers

HistoryRow RowOf(int index) {
  HistoryRow row;
  row.startUtc = "2026-12-11T07:30:00.000Z";
  char end[32];
  std::snprintf(end, sizeof end, "2026-12-%02dT%02d:%02d:%02d.000Z", 1 + index / 86400 % 28,
                index / 3600 % 24, index / 60 % 60, index % 60);
  row.endUtc = end;
  row.program = "kestrune-update";
  row.programVersion = "1.0.0.1";
  row.host = "desk-3";
  row.serial = "KW-" + std::to_string(index % kWatches);
  row.port = "/dev/ttyACM0";
  row.location = "1-1.4";
  row.firmwareVersion = "2.418";
  row.images = {{8192, std::string(64, 'a')}, {5000, std::string(64, 'b')}};
  row.reason = "done";
  row.blocksWritten = 4;
  row.readBack = "not asked";
  row.logTag = "[watch " + row.serial + "]";
  return row;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 200;
  testing_support::TempFolder folder("history-bench");
  const std::u16string path = (folder.path() / "history.sqlite").u16string();
  HistoryDatabase database(path, std::chrono::milliseconds(2000));
  std::string error;

  // One row at a time, as the writer's thread appends them.
  std::vector<double> writes;
  for (int i = 0; i < rounds; ++i) {
    const HistoryRow row = RowOf(i);
    const auto start = Clock::now();
    if (!database.Append(row, error)) {
      std::fprintf(stderr, "history_bench: append failed: %s\n", error.c_str());
      return 1;
    }
    writes.push_back(MillisecondsSince(start));
  }
  std::printf("row writes: median %.3f ms, slowest %.3f ms over %d rows\n", Median(writes),
              *std::max_element(writes.begin(), writes.end()), rounds);

  // The rest of the rows in one transaction of a connection of its own:
  // only the query is measured.
  {
    sqlite3* db = nullptr;
    sqlite3_open((folder.path() / "history.sqlite").string().c_str(), &db);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO runs (start_utc, end_utc, program, program_version, host,"
                       " serial, port, location, firmware_version, images, reason, blocks_written,"
                       " read_back, log_tag) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                       -1, &insert, nullptr);
    for (int i = rounds; i < rows; ++i) {
      const HistoryRow row = RowOf(i);
      const std::string texts[] = {
          row.startUtc, row.endUtc, row.program,  row.programVersion,  row.host,
          row.serial,   row.port,   row.location, row.firmwareVersion, ImagesText(row.images),
          row.reason};
      for (int column = 0; column < 11; ++column) {
        sqlite3_bind_text(insert, column + 1, texts[column].c_str(), -1, SQLITE_TRANSIENT);
      }
      sqlite3_bind_int(insert, 12, 4);
      sqlite3_bind_text(insert, 13, row.readBack.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 14, row.logTag.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }

  // history --serial: a fresh connection (as a new process opens one), the
  // query and its JSON lines.
  std::vector<double> queries;
  std::size_t found = 0;
  for (int i = 0; i < 30; ++i) {
    const auto start = Clock::now();
    HistoryDatabase reader(path, std::chrono::milliseconds(2000));
    std::vector<HistoryRow> picked;
    if (!reader.Query({"KW-" + std::to_string(i * 31 % kWatches), ""}, picked, error)) {
      std::fprintf(stderr, "history_bench: query failed: %s\n", error.c_str());
      return 1;
    }
    const std::string lines = FormatHistory(picked, HistoryFormat::kJsonLines);
    queries.push_back(MillisecondsSince(start));
    found = picked.size();
    if (lines.empty()) return 1;
  }
  std::printf("history --serial over %d rows: median %.3f ms, slowest %.3f ms (%zu rows each)\n",
              rows, Median(queries), *std::max_element(queries.begin(), queries.end()), found);
  std::printf("row_write_ms=%.3f query_serial_ms=%.3f rows=%d\n", Median(writes), Median(queries),
              rows);
  return 0;
}
