#include "app/cli/watch_board.h"

#include <cstdio>
#include <utility>

#include "app/cli/board_rows.h"
#include "app/cli/console.h"
#include "app/cli/progress_rate.h"
#include "app/cli/exit_codes.h"
#include "app/cli/terminal_columns.h"
#include "transfer/firmware_update.h"
#include "update/run_log.h"
#include "update/text_conversion.h"

namespace kestrune {
namespace {

std::string Name(const WatchName& watch) {
  return TerminalSafeText(watch.serial.empty() ? "-" : watch.serial, false) + "  " +
         TerminalSafeText(watch.port, false);
}

}  // namespace

// The drawing itself, on the output thread only.
class WatchBoard::View {
 public:
  View(OutputStyle style, bool station) : style_(style), station_(station) {}

  void Add(const WatchName& watch);
  void Status(std::size_t row, const std::u16string& text,
              std::chrono::steady_clock::time_point reportedAt);
  void Progress(std::size_t row, std::uint32_t done, std::uint32_t total);
  void Verifying(std::size_t row, std::uint32_t blocks);
  void Finished(std::size_t row, const WatchOutcome& outcome);
  void WatchCount(int writing, int done, int failed);
  void Notice(const WatchName& watch, const std::string& text);
  void Message(const std::string& text);
  void Summary(const std::vector<WatchOutcome>& outcomes, int exitCode);
  void Interrupted(int exitCode);

 private:
  struct Row {
    WatchName name;
    std::u16string status;
    std::uint32_t done = 0;
    std::uint32_t total = 0;
    ProgressRate rate;
    std::uint32_t readingBack = 0;  // blocks being read back; 0 while writing
    bool ended = false;
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
  std::vector<Row> rows_;
  std::size_t drawnLines_ = 0;
  int writingCount_ = 0;  // the station's count, as its ledger says
  int doneCount_ = 0;
  int failedCount_ = 0;
  bool outClosed_ = false;
  bool errClosed_ = false;
};

std::string WatchBoard::View::RowText(const Row& row) const {
  std::string text = Name(row.name) + "  " + TerminalSafeText(WideToUtf8Text(row.status), false);
  if (row.readingBack > 0 && row.status == kWritingImage) {
    text += "  reading back " + std::to_string(row.readingBack) + " written blocks";
  } else if (row.total > 0 && row.status == kWritingImage) {
    text += "  " + ProgressLine(row.done, row.total, row.rate.At(row.done, row.total));
  }
  return text;
}

std::string WatchBoard::View::WatchJson(const WatchName& watch) const {
  return "{\"serial\":" + JsonString(watch.serial) + ",\"port\":" + JsonString(watch.port) + "}";
}

// A failed write means the reader went away: said once in the run log, and
// that stream is left alone from then on.
void WatchBoard::View::WriteOut(const std::string& text) {
  if (outClosed_) return;
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    outClosed_ = true;
    WriteRunLog("output: standard output is closed; the run goes on without printing there");
  }
}

void WatchBoard::View::Erase() {
  if (drawnLines_ == 0) return;
  WriteOut("\x1b[" + std::to_string(drawnLines_) + "A\r\x1b[J");
  drawnLines_ = 0;
}

void WatchBoard::View::Redraw() {
  std::string out;
  if (drawnLines_ > 0) out += "\x1b[" + std::to_string(drawnLines_) + "A\r";
  // Each line stays within the terminal's width, the last column left
  // free: a line that wrapped would be two, and the next redraw would move
  // up too few.
  const int columns = TerminalColumns() - 1;
  std::vector<bool> writing;
  for (const Row& row : rows_) writing.push_back(!row.ended);
  const FittedBoard fitted = FitBoardRows(writing, station_ ? 1 : 0, TerminalRows());
  for (const std::size_t shown : fitted.shown) {
    out += "\x1b[2K" + FitToColumns(RowText(rows_[shown]), columns) + "\n";
  }
  std::size_t lines = fitted.shown.size();
  if (fitted.hidden > 0) {
    out += "\x1b[2K" + FitToColumns(HiddenRowsLine(fitted), columns) + "\n";
    ++lines;
  }
  if (station_) {
    out += "\x1b[2K" +
           FitToColumns(std::to_string(writingCount_) + " being written, " +
                            std::to_string(doneCount_) + " done, " + std::to_string(failedCount_) +
                            " failed; Ctrl-C ends the station",
                        columns) +
           "\n";
    ++lines;
  }
  // A view that got shorter leaves its old last lines below: cleared.
  if (lines < drawnLines_) out += "\x1b[J";
  WriteOut(out);
  drawnLines_ = lines;
}

void WatchBoard::View::Add(const WatchName& watch) {
  Row added;
  added.name = watch;
  rows_.push_back(std::move(added));
  if (style_ == OutputStyle::kTerminal) Redraw();
}

void WatchBoard::View::Status(std::size_t row, const std::u16string& text,
                              std::chrono::steady_clock::time_point reportedAt) {
  Row& shown = rows_.at(row);
  shown.status = text;
  if (text == kWritingImage) shown.rate.WritingBegins(reportedAt);  // the first block starts
  const std::string utf8 = WideToUtf8Text(text);
  switch (style_) {
    case OutputStyle::kJson:
      WriteOut("{\"event\":\"status\",\"watch\":" + WatchJson(shown.name) +
               ",\"text\":" + JsonString(utf8) + "}\n");
      break;
    case OutputStyle::kPlain:
      WriteOut(Name(shown.name) + "  " + TerminalSafeText(utf8, false) + "\n");
      break;
    case OutputStyle::kTerminal: Redraw(); break;
  }
}

void WatchBoard::View::Progress(std::size_t row, std::uint32_t done, std::uint32_t total) {
  Row& shown = rows_.at(row);
  shown.done = done;
  shown.total = total;
  if (style_ == OutputStyle::kJson) {
    WriteOut("{\"event\":\"progress\",\"watch\":" + WatchJson(shown.name) +
             ",\"done\":" + std::to_string(done) + ",\"total\":" + std::to_string(total) + "}\n");
  } else if (style_ == OutputStyle::kTerminal) {
    Redraw();
  }
}

void WatchBoard::View::Verifying(std::size_t row, std::uint32_t blocks) {
  Row& shown = rows_.at(row);
  shown.readingBack = blocks;
  switch (style_) {
    case OutputStyle::kJson:
      WriteOut("{\"event\":\"verifying\",\"watch\":" + WatchJson(shown.name) +
               ",\"blocks\":" + std::to_string(blocks) + "}\n");
      break;
    case OutputStyle::kPlain:
      WriteOut(Name(shown.name) + "  Verifying: reading back " + std::to_string(blocks) +
               " written blocks\n");
      break;
    case OutputStyle::kTerminal: Redraw(); break;
  }
}

void WatchBoard::View::Finished(std::size_t row, const WatchOutcome& outcome) {
  Row& shown = rows_.at(row);
  shown.ended = true;
  if (outcome.outcome == RunOutcome::kClosedBeforeWriting) shown.status = u"not written";
  // A failure's cause and what to do, on a line of its own above the rows
  // (JSON has it in the result).
  if (outcome.cause.Known() && style_ != OutputStyle::kJson) {
    Erase();
    WriteOut(Name(shown.name) + "  " + TerminalSafeText(RunCauseLine(outcome.cause), false) + "\n");
  }
  if (style_ == OutputStyle::kTerminal) Redraw();
}

void WatchBoard::View::WatchCount(int writing, int done, int failed) {
  writingCount_ = writing;
  doneCount_ = done;
  failedCount_ = failed;
  if (style_ == OutputStyle::kTerminal) Redraw();
}

void WatchBoard::View::Notice(const WatchName& watch, const std::string& text) {
  if (style_ == OutputStyle::kJson) {
    WriteOut("{\"event\":\"notice\",\"watch\":" + WatchJson(watch) +
             ",\"text\":" + JsonString(text) + "}\n");
    return;
  }
  Erase();
  WriteOut(Name(watch) + "  " + text + "\n");
  if (style_ == OutputStyle::kTerminal) Redraw();
}

void WatchBoard::View::Message(const std::string& text) {
  if (!errClosed_) {
    std::fputs((text + "\n").c_str(), stderr);
    if (std::fflush(stderr) != 0 || std::ferror(stderr)) {
      errClosed_ = true;
      WriteRunLog("output: standard error is closed; the run goes on without printing there");
    }
  }
  // The message went below the rows: they are drawn again under it.
  if (style_ == OutputStyle::kTerminal && drawnLines_ > 0) {
    drawnLines_ = 0;
    Redraw();
  }
}

void WatchBoard::View::Interrupted(int exitCode) {
  if (style_ != OutputStyle::kJson) return;
  WriteOut("{\"event\":\"result\",\"schema\":" + std::to_string(kJsonSchema) + ",\"exit_code\":" +
           std::to_string(exitCode) + ",\"reason\":" + JsonString(ExitReason(exitCode)) +
           ",\"status\":\"\",\"watches\":[]}\n");
}

void WatchBoard::View::Summary(const std::vector<WatchOutcome>& outcomes, int exitCode) {
  if (style_ == OutputStyle::kJson) {
    std::string watches;
    for (const WatchOutcome& outcome : outcomes) {
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%.1f", outcome.seconds);
      if (!watches.empty()) watches += ",";
      watches += "{\"serial\":" + JsonString(outcome.serial) +
                 ",\"port\":" + JsonString(outcome.port) +
                 ",\"exit_code\":" + std::to_string(outcome.exitCode) +
                 ",\"reason\":" + JsonString(RunOutcomeReason(outcome.outcome)) +
                 ",\"status\":" + JsonString(WideToUtf8Text(RunOutcomeStatus(outcome.outcome))) +
                 ",\"seconds\":" + seconds + ",\"tries\":" + std::to_string(outcome.tries) +
                 (outcome.cause.Known() ? ",\"cause\":" + CauseJson(outcome.cause) : "") + "}";
    }
    WriteOut("{\"event\":\"result\",\"schema\":" + std::to_string(kJsonSchema) +
             ",\"exit_code\":" + std::to_string(exitCode) +
             ",\"reason\":" + JsonString(SeveralWatchesReason(exitCode)) + ",\"status\":\"\"" +
             ",\"watches\":[" + watches + "]}\n");
    return;
  }
  if (style_ == OutputStyle::kTerminal) drawnLines_ = 0;  // the rows stay above the summary
  std::string text = "Summary: " + std::to_string(outcomes.size()) + " watch(es)\n";
  for (const WatchOutcome& outcome : outcomes) {
    text += "  " + SummaryLine(outcome) + "\n";
    const std::string cause = SummaryCauseLine(outcome);
    if (!cause.empty()) text += cause + "\n";
  }
  WriteOut(text);
}

WatchBoard::WatchBoard(OutputStyle style, bool station, ReportDrain& drain)
    : drain_(drain), view_(std::make_shared<View>(style, station)) {}

// The row is known at once: the view adds its rows in the order of the calls.
std::size_t WatchBoard::Add(const WatchName& watch) {
  const std::size_t row = rowsAdded_++;
  drain_.Push([view = view_, watch] { view->Add(watch); });
  return row;
}

void WatchBoard::Status(std::size_t row, const std::u16string& text) {
  const auto reportedAt = std::chrono::steady_clock::now();
  drain_.Push([view = view_, row, text, reportedAt] { view->Status(row, text, reportedAt); });
}

void WatchBoard::Progress(std::size_t row, std::uint32_t done, std::uint32_t total) {
  drain_.PushLatest({view_.get(), row},
                    [view = view_, row, done, total] { view->Progress(row, done, total); });
}

void WatchBoard::Verifying(std::size_t row, std::uint32_t blocks) {
  drain_.Push([view = view_, row, blocks] { view->Verifying(row, blocks); });
}

void WatchBoard::Finished(std::size_t row, const WatchOutcome& outcome) {
  drain_.Push([view = view_, row, outcome] { view->Finished(row, outcome); });
}

void WatchBoard::WatchCount(int writing, int done, int failed) {
  drain_.Push([view = view_, writing, done, failed] { view->WatchCount(writing, done, failed); });
}

void WatchBoard::Notice(const WatchName& watch, const std::string& text) {
  drain_.Push([view = view_, watch, text] { view->Notice(watch, text); });
}

void WatchBoard::Message(const std::string& text) {
  drain_.Push([view = view_, text] { view->Message(text); });
}

void WatchBoard::Summary(const std::vector<WatchOutcome>& outcomes, int exitCode) {
  drain_.Push([view = view_, outcomes, exitCode] { view->Summary(outcomes, exitCode); });
}

void WatchBoard::Interrupted(int exitCode) {
  drain_.Push([view = view_, exitCode] { view->Interrupted(exitCode); });
}

}  // namespace kestrune
