#pragma once
// Writes history rows on a thread of its own, from a queue: a thread that
// writes a watch hands its row over when the watch's run has ended and
// goes on at once, whatever the file is doing (locked by another program,
// read-only, full, damaged). A row that cannot be written is dropped with
// its cause in the run log.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "history/history_row.h"

namespace kestrune {

// How long one attempt waits for another program's lock, and how many
// attempts a row gets before it is dropped.
inline constexpr std::chrono::milliseconds kHistoryBusyTimeout{2000};
inline constexpr int kHistoryWriteAttempts = 3;

class HistoryWriter {
 public:
  // Rows go to the history file at `path`; `note` hears every failure (the
  // run log's writer by default).
  explicit HistoryWriter(std::u16string path,
                         std::chrono::milliseconds busyTimeout = kHistoryBusyTimeout,
                         std::function<void(const std::string&)> note = {});
  // Writes what is queued (each row as many attempts as it has left), then
  // stops.
  ~HistoryWriter();
  HistoryWriter(const HistoryWriter&) = delete;
  HistoryWriter& operator=(const HistoryWriter&) = delete;

  // Queues `row` and returns at once; the thread starts with the first row.
  void Post(HistoryRow row) noexcept;

  // Waits until every row posted so far has been written or dropped, at
  // most `bound`; false when rows are still waiting then.
  bool Flush(std::chrono::milliseconds bound);

  // The history file it writes.
  const std::u16string& Path() const { return path_; }

 private:
  void WriteQueued();

  std::u16string path_;
  std::chrono::milliseconds busyTimeout_;
  std::function<void(const std::string&)> note_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<HistoryRow> queue_;
  std::uint64_t posted_ = 0;
  std::uint64_t finished_ = 0;  // written or dropped
  bool stopping_ = false;
  std::thread thread_;
};

// The writer of this user's history.sqlite, shared by the whole process;
// its rows are written before the process's statics go.
HistoryWriter& UserHistoryWriter();

// Where this user's history file is (the user data folder); empty when
// there is no data folder.
std::u16string UserHistoryPath();

// The history file `writer` writes, or UserHistoryPath() when there is none:
// where a run looks a watch up, so that it reads the file it records to.
std::u16string HistoryPathOf(const HistoryWriter* writer);

}  // namespace kestrune
