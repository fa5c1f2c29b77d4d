#include "history/history_writer.h"

#include <utility>

#include "history/history_database.h"
#include "update/run_log.h"
#include "update/text_conversion.h"
#include "update/user_data_folder.h"

namespace kestrune {
namespace {

std::string DescribeRow(const HistoryRow& row) {
  return "the row of " + (row.serial.empty() ? "the watch on " + row.port : "watch " + row.serial) +
         " (" + row.reason + ", ended " + row.endUtc + ")";
}

}  // namespace

HistoryWriter::HistoryWriter(std::u16string path, std::chrono::milliseconds busyTimeout,
                             std::function<void(const std::string&)> note)
    : path_(std::move(path)), busyTimeout_(busyTimeout), note_(std::move(note)) {
  if (!note_) note_ = [](const std::string& line) { WriteRunLog(line); };
}

HistoryWriter::~HistoryWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void HistoryWriter::Post(HistoryRow row) noexcept {
  try {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!thread_.joinable()) thread_ = std::thread([this] { WriteQueued(); });
    queue_.push_back(std::move(row));
    ++posted_;
  } catch (const std::exception& failure) {
    note_(std::string("history: a row was not written: ") + failure.what());
    return;
  }
  changed_.notify_all();
}

bool HistoryWriter::Flush(std::chrono::milliseconds bound) {
  std::unique_lock<std::mutex> lock(mutex_);
  const std::uint64_t target = posted_;
  return changed_.wait_for(lock, bound, [&] { return finished_ >= target; });
}

void HistoryWriter::WriteQueued() {
  HistoryDatabase database(path_, busyTimeout_, note_);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping, nothing left
    HistoryRow row = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    std::string error;
    bool written = false;
    for (int attempt = 1; attempt <= kHistoryWriteAttempts && !written; ++attempt) {
      written = database.Append(row, error);
      if (!written && error.find("locked") == std::string::npos &&
          error.find("busy") == std::string::npos) {
        break;  // only a lock passes; read-only, full or unopenable stays so
      }
    }
    if (!written) {
      note_("history: " + DescribeRow(row) + " was not written to " + WideToUtf8Text(path_) + ": " +
            error);
    }
    lock.lock();
    ++finished_;
    changed_.notify_all();
  }
}

std::u16string UserHistoryPath() { return UserDataFilePath(kHistoryFileName); }

std::u16string HistoryPathOf(const HistoryWriter* writer) {
  return writer != nullptr ? writer->Path() : UserHistoryPath();
}

HistoryWriter& UserHistoryWriter() {
  // The run log first, so that it outlives the writer, which notes to it
  // while it drains at the end.
  UserRunLog();
  static HistoryWriter writer(UserHistoryPath());
  return writer;
}

}  // namespace kestrune
