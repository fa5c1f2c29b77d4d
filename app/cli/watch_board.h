#pragma once
// What kestrune-update shows while several watches are written at once: on
// a terminal one redrawn line per watch (its status, blocks, percent, time
// left; in a station session also the count of done and failed), otherwise
// one plain line per status, or one JSON object per line whose events carry
// the watch. Ends with one summary line per watch, or the JSON result with
// every watch. Safe to call from every watch's thread and the interrupt's,
// and never waits for the output: what is shown is drawn on the program's
// output thread (a ReportDrain), in the order of the calls; while the
// output is behind, a watch's progress step may take the place of the one
// before it, and nothing else is ever left out.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/cli/cli_output.h"
#include "report/report_drain.h"
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
  // Drawn on `drain`'s thread; what is drawn holds on to what it needs, so
  // the board may go before its last lines are out. `quiet` (-q): no live
  // view, statuses, progress or notices; the summary (or the JSON result)
  // and the messages only.
  WatchBoard(OutputStyle style, bool station, ReportDrain& drain, bool quiet = false);

  // The output thread this draws on.
  ReportDrain& Drain() const { return drain_; }

  // A watch whose run begins; the row it is shown in.
  std::size_t Add(const WatchName& watch);
  void Status(std::size_t row, const std::u16string& text);
  void Progress(std::size_t row, std::uint32_t done, std::uint32_t total);
  // Every image is written to the watch in `row`; its `blocks` are now
  // read back.
  void Verifying(std::size_t row, std::uint32_t blocks);
  // The run of the watch in `row` ended so.
  void Finished(std::size_t row, const WatchOutcome& outcome);
  // The station's count line: its watches being written, done and failed,
  // each by its last run (a watch written again counts once).
  void WatchCount(int writing, int done, int failed);
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
  class View;  // the rows and what has been drawn, on the output thread only

  bool quiet_;
  ReportDrain& drain_;
  std::shared_ptr<View> view_;
  std::atomic<std::size_t> rowsAdded_{0};
};

}  // namespace kestrune
