#include "app/cli/watch_board.h"

#include <cstdio>
#include <utility>

#include "app/cli/board_rows.h"
#include "app/cli/console.h"
#include "app/cli/progress_rate.h"
#include "app/cli/exit_codes.h"
#include "app/cli/terminal_columns.h"
#include "app/frontend/shown_status.h"
#include "i18n/translate.h"
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
  using Clock = std::chrono::system_clock;

  View(OutputStyle style, bool station) : style_(style), station_(station) {}

  void Add(const WatchName& watch);
  // `at`: when the report was made, the JSON event's time.
  void Status(std::size_t row, const std::u16string& text,
              std::chrono::steady_clock::time_point reportedAt, Clock::time_point at);
  void Progress(std::size_t row, std::uint32_t done, std::uint32_t total, Clock::time_point at);
  void Verifying(std::size_t row, std::uint32_t blocks, Clock::time_point at);
  void Finished(std::size_t row, const WatchOutcome& outcome);
  void WatchCount(int writing, int done, int failed);
  void Notice(const WatchName& watch, const std::string& text, Clock::time_point at);
  void Message(const std::string& text);
  void Summary(const std::vector<WatchOutcome>& outcomes, int exitCode, Clock::time_point at);
  void Interrupted(int exitCode, Clock::time_point at);

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
  std::string text = Name(row.name) + "  " + TerminalSafeText(ShownStatus(row.status), false);
  if (row.readingBack > 0 && row.status == kWritingImage) {
    text += "  " + Tr("reading back {1} written blocks", {std::to_string(row.readingBack)});
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
           FitToColumns(Tr("{1} being written, {2} done, {3} failed; Ctrl-C ends the station",
                           {std::to_string(writingCount_), std::to_string(doneCount_),
                            std::to_string(failedCount_)}),
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
                              std::chrono::steady_clock::time_point reportedAt,
                              Clock::time_point at) {
  Row& shown = rows_.at(row);
  shown.status = text;
  if (text == kWritingImage) shown.rate.WritingBegins(reportedAt);  // the first block starts
  const std::string utf8 = ShownStatus(text);
  switch (style_) {
    case OutputStyle::kJson:
      WriteOut(JsonEventHead("status", at) + ",\"watch\":" + WatchJson(shown.name) +
               ",\"text\":" + JsonString(utf8) + "}\n");
      break;
    case OutputStyle::kPlain:
      WriteOut(Name(shown.name) + "  " + TerminalSafeText(utf8, false) + "\n");
      break;
    case OutputStyle::kTerminal: Redraw(); break;
  }
}

void WatchBoard::View::Progress(std::size_t row, std::uint32_t done, std::uint32_t total,
                                Clock::time_point at) {
  Row& shown = rows_.at(row);
  shown.done = done;
  shown.total = total;
  if (style_ == OutputStyle::kJson) {
    WriteOut(JsonEventHead("progress", at) + ",\"watch\":" + WatchJson(shown.name) +
             ",\"done\":" + std::to_string(done) + ",\"total\":" + std::to_string(total) + "}\n");
  } else if (style_ == OutputStyle::kTerminal) {
    Redraw();
  }
}

void WatchBoard::View::Verifying(std::size_t row, std::uint32_t blocks, Clock::time_point at) {
  Row& shown = rows_.at(row);
  shown.readingBack = blocks;
  switch (style_) {
    case OutputStyle::kJson:
      WriteOut(JsonEventHead("verifying", at) + ",\"watch\":" + WatchJson(shown.name) +
               ",\"blocks\":" + std::to_string(blocks) + "}\n");
      break;
    case OutputStyle::kPlain:
      WriteOut(Name(shown.name) + "  " +
               Tr("Verifying: reading back {1} written blocks", {std::to_string(blocks)}) + "\n");
      break;
    case OutputStyle::kTerminal: Redraw(); break;
  }
}

void WatchBoard::View::Finished(std::size_t row, const WatchOutcome& outcome) {
  Row& shown = rows_.at(row);
  shown.ended = true;
  if (outcome.outcome == RunOutcome::kClosedBeforeWriting) {
    shown.status = Utf8ToWideText(Tr("not written"));
  }
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

void WatchBoard::View::Notice(const WatchName& watch, const std::string& text,
                              Clock::time_point at) {
  if (style_ == OutputStyle::kJson) {
    WriteOut(JsonEventHead("notice", at) + ",\"watch\":" + WatchJson(watch) +
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

void WatchBoard::View::Interrupted(int exitCode, Clock::time_point at) {
  if (style_ != OutputStyle::kJson) return;
  WriteOut(JsonEventHead("result", at) + ",\"schema\":" + std::to_string(kJsonSchema) +
           ",\"exit_code\":" + std::to_string(exitCode) + ",\"reason\":" +
           JsonString(ExitReason(exitCode)) + ",\"status\":\"\",\"watches\":[]}\n");
}

void WatchBoard::View::Summary(const std::vector<WatchOutcome>& outcomes, int exitCode,
                               Clock::time_point at) {
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
                 ",\"status\":" + JsonString(ShownStatus(RunOutcomeStatus(outcome.outcome))) +
                 ",\"seconds\":" + seconds + ",\"tries\":" + std::to_string(outcome.tries) +
                 (outcome.cause.Known() ? ",\"cause\":" + CauseJson(outcome.cause) : "") + "}";
    }
    WriteOut(JsonEventHead("result", at) + ",\"schema\":" + std::to_string(kJsonSchema) +
             ",\"exit_code\":" + std::to_string(exitCode) +
             ",\"reason\":" + JsonString(SeveralWatchesReason(exitCode)) + ",\"status\":\"\"" +
             ",\"watches\":[" + watches + "]}\n");
    return;
  }
  if (style_ == OutputStyle::kTerminal) drawnLines_ = 0;  // the rows stay above the summary
  std::string text = TrN("Summary: {1} watch", "Summary: {1} watches", outcomes.size(),
                         {std::to_string(outcomes.size())}) +
                     "\n";
  for (const WatchOutcome& outcome : outcomes) {
    text += "  " + SummaryLine(outcome) + "\n";
    const std::string cause = SummaryCauseLine(outcome);
    if (!cause.empty()) text += cause + "\n";
  }
  WriteOut(text);
}

// Quiet, a terminal gets no live view: its rows are kept for the summary
// but drawn as plain lines are, which the calls below leave out.
WatchBoard::WatchBoard(OutputStyle style, bool station, ReportDrain& drain, bool quiet)
    : quiet_(quiet),
      drain_(drain),
      view_(std::make_shared<View>(
          quiet && style == OutputStyle::kTerminal ? OutputStyle::kPlain : style, station)) {}

// The row is known at once: the view adds its rows in the order of the calls.
std::size_t WatchBoard::Add(const WatchName& watch) {
  const std::size_t row = rowsAdded_++;
  drain_.Push([view = view_, watch] { view->Add(watch); });
  return row;
}

// Each report takes its time when it is made, not when it is drawn.
void WatchBoard::Status(std::size_t row, const std::u16string& text) {
  if (quiet_) return;
  const auto reportedAt = std::chrono::steady_clock::now();
  const auto at = std::chrono::system_clock::now();
  drain_.Push(
      [view = view_, row, text, reportedAt, at] { view->Status(row, text, reportedAt, at); });
}

void WatchBoard::Progress(std::size_t row, std::uint32_t done, std::uint32_t total) {
  if (quiet_) return;
  const auto at = std::chrono::system_clock::now();
  drain_.PushLatest({view_.get(), row},
                    [view = view_, row, done, total, at] { view->Progress(row, done, total, at); });
}

void WatchBoard::Verifying(std::size_t row, std::uint32_t blocks) {
  if (quiet_) return;
  const auto at = std::chrono::system_clock::now();
  drain_.Push([view = view_, row, blocks, at] { view->Verifying(row, blocks, at); });
}

void WatchBoard::Finished(std::size_t row, const WatchOutcome& outcome) {
  drain_.Push([view = view_, row, outcome] { view->Finished(row, outcome); });
}

void WatchBoard::WatchCount(int writing, int done, int failed) {
  if (quiet_) return;
  drain_.Push([view = view_, writing, done, failed] { view->WatchCount(writing, done, failed); });
}

void WatchBoard::Notice(const WatchName& watch, const std::string& text) {
  if (quiet_) return;
  const auto at = std::chrono::system_clock::now();
  drain_.Push([view = view_, watch, text, at] { view->Notice(watch, text, at); });
}

void WatchBoard::Message(const std::string& text) {
  drain_.Push([view = view_, text] { view->Message(text); });
}

void WatchBoard::Summary(const std::vector<WatchOutcome>& outcomes, int exitCode) {
  const auto at = std::chrono::system_clock::now();
  drain_.Push([view = view_, outcomes, exitCode, at] { view->Summary(outcomes, exitCode, at); });
}

void WatchBoard::Interrupted(int exitCode) {
  const auto at = std::chrono::system_clock::now();
  drain_.Push([view = view_, exitCode, at] { view->Interrupted(exitCode, at); });
}

}  // namespace kestrune
