#pragma once
// What kestrune-update shows while several watches are written at once: on
// a terminal one redrawn line per watch (its status, blocks, percent, time
// left; in a station session also the count of done and failed), otherwise
// one plain line per status, or one JSON object per line whose events carry
// the watch. Ends with one summary line per watch, or the JSON result with
// every watch. Safe to call from every watch's thread and the interrupt's.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/cli/cli_output.h"
#include "app/cli/progress_rate.h"
#include "app/cli/watch_outcomes.h"

namespace kestrune {

// How the output names a watch.
struct WatchName {
  std::string serial;  // empty when the watch has none
  std::string port;
};

class WatchBoard {
 public:
  // `station`: the live view also counts the watches done and failed.
  WatchBoard(OutputStyle style, bool station) : style_(style), station_(station) {}

  // A watch whose run begins; the row it is shown in.
  std::size_t Add(const WatchName& watch);
  void Status(std::size_t row, const std::u16string& text);
  void Progress(std::size_t row, std::uint32_t done, std::uint32_t total);
  // Every image is written to the watch in `row`; its `blocks` are now
  // read back.
  void Verifying(std::size_t row, std::uint32_t blocks);
  // The run of the watch in `row` ended so.
  void Finished(std::size_t row, const WatchOutcome& outcome);
  // Something said of a watch that is not written ("already updated in
  // this session").
  void Notice(const WatchName& watch, const std::string& text);
  // A message on standard error, on a line of its own.
  void Message(const std::string& text);
  // The end: a summary line per watch (text), or the result line with
  // every watch (JSON).
  void Summary(const std::vector<WatchOutcome>& outcomes, int exitCode);
  // The end by an interrupt before any writing: the JSON result line with
  // `exitCode`; nothing more in text.
  void Interrupted(int exitCode);

 private:
  struct Row {
    WatchName name;
    std::u16string status;
    std::uint32_t done = 0;
    std::uint32_t total = 0;
    ProgressRate rate;
    std::uint32_t readingBack = 0;  // blocks being read back; 0 while writing
  };

  std::string RowText(const Row& row) const;
  std::string WatchJson(const WatchName& watch) const;
  // Terminal: the rows drawn anew in place of the ones drawn before.
  void Redraw();
  // Terminal: the drawn rows taken away, so a line can go above them.
  void Erase();
  void WriteOut(const std::string& text);

  OutputStyle style_;
  bool station_;
  std::mutex mutex_;
  std::vector<Row> rows_;
  std::size_t drawnLines_ = 0;
  int doneCount_ = 0;
  int failedCount_ = 0;
  bool outClosed_ = false;
  bool errClosed_ = false;
};

}  // namespace kestrune
