#include "app/cli/watch_runs.h"

#include <cstdio>
#include <utility>

#include "app/cli/cli_options.h"
#include "app/cli/console.h"
#include "app/cli/interrupt_slot.h"
#include "app/cli/program_end.h"
#include "device/watch_discovery.h"
#include "transfer/logged_firmware_update_reporter.h"
#include "history/history_writer.h"
#include "transfer/watch_history.h"
#include "transfer/watch_write.h"
#include "update/run_log.h"
#include "update/text_conversion.h"
#include "i18n/translate.h"

namespace kestrune {
namespace {

// One watch's reports, shown in its row of the board.
class WatchPrinter : public FirmwareUpdateReporter {
 public:
  WatchPrinter(WatchBoard& board, std::size_t row, std::atomic<bool>& writingBegan)
      : board_(board), row_(row), writingBegan_(writingBegan) {}
  void PostStatus(const std::u16string& text) override { board_.Status(row_, text); }
  void SetProgressRange(std::uint32_t maximum) override { total_ = maximum; }
  void SetProgressPosition(std::uint32_t position) override {
    board_.Progress(row_, position, total_);
  }
  void SetWriting(bool writing) override {
    if (writing) writingBegan_ = true;
  }
  void VerifyingBlocks(std::uint32_t blocks) override { board_.Verifying(row_, blocks); }
  void PortHeldBy(const std::string& port, const std::string& holders) override {
    board_.Message(PortHeldMessage(port, holders));
  }
  // Kept until the run has ended: the writing thread only stores it.
  void SetCause(const RunCause& cause) override { this->cause = cause; }

  RunCause cause;

 private:
  WatchBoard& board_;
  std::size_t row_;
  std::atomic<bool>& writingBegan_;
  std::uint32_t total_ = 0;
};

}  // namespace

WatchToWrite WatchToWriteOf(const DiscoveredWatch& found) {
  return {WideToUtf8Text(found.usbSerial), WideToUtf8Text(found.portPath),
          WideToUtf8Text(found.usbLocation)};
}

SeveralWatchRuns::SeveralWatchRuns(std::shared_ptr<const FetchedFirmware> firmware,
                                   std::chrono::milliseconds answerTimeout,
                                   bool verifyWrittenBlocks, WatchBoard& board,
                                   const char* programName, HistoryWriter* history)
    : firmware_(std::move(firmware)),
      digests_(ImageDigests(*firmware_)),
      history_(history),
      answerTimeout_(answerTimeout),
      verifyWrittenBlocks_(verifyWrittenBlocks),
      board_(board),
      programName_(programName) {}

SeveralWatchRuns::~SeveralWatchRuns() { WaitForAll(); }

bool SeveralWatchRuns::Start(const WatchToWrite& watch,
                             std::function<void(const WatchOutcome&)> ended, std::size_t* number) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopped_) return false;
  if (number != nullptr) *number = runs_.size();
  Run& run = runs_.emplace_back();
  run.watch = watch;
  const std::size_t row = board_.Add({watch.serial, watch.port});
  try {
    run.thread = std::thread([this, &run, row, ended] { Write(run, row, ended); });
  } catch (const std::system_error& error) {
    WriteRunLog("update: " + WatchLogTag(watch.serial, watch.port) +
                " no thread could be started for the watch: " + error.what());
    run.outcome = {watch.serial, watch.port, RunOutcome::kFailure,
                   RunOutcomeExitCode(RunOutcome::kFailure), 0};
    board_.Status(row, RunOutcomeStatus(RunOutcome::kFailure));
    board_.Finished(row, run.outcome);
    if (ended) ended(run.outcome);
  }
  return true;
}

void SeveralWatchRuns::Write(Run& run, std::size_t row,
                             const std::function<void(const WatchOutcome&)>& ended) {
  const auto started = std::chrono::steady_clock::now();
  WatchPrinter printer(board_, row, writingBegan_);
  const LineAbandon::ThreadScope abandonable(run.abandon);
  {
    const std::string tag = WatchLogTag(run.watch.serial, run.watch.port);
    LoggedFirmwareUpdateReporter logged(printer, UserRunLog(), programName_, tag);
    RunRecord record(logged, programName_, tag);
    record.SetWatch(run.watch.serial, run.watch.port, run.watch.location);
    record.SetFirmware(firmware_->version, digests_);
    if (!run.watch.location.empty()) logged.Note("plugged in at " + run.watch.location);
    const RunOutcome outcome =
        WriteFirmwareToWatch(record, *firmware_, Utf8ToWideText(run.watch.port), answerTimeout_,
                             &run.gate, verifyWrittenBlocks_);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    run.outcome = {run.watch.serial, run.watch.port, outcome,
                   WatchExitCode(outcome, interruptCode_), seconds};
    if (outcome != RunOutcome::kDone && outcome != RunOutcome::kClosedBeforeWriting) {
      run.outcome.cause = printer.cause;
    }
    char took[32];
    std::snprintf(took, sizeof took, "%.1f s", seconds);
    logged.Note(std::string("result: ") +
                (outcome == RunOutcome::kClosedBeforeWriting
                     ? "not written, interrupted before writing began"
                     : RunOutcomeReason(outcome)) +
                ", exit code " + std::to_string(run.outcome.exitCode) + ", " + took);
    // Handed over once the run has ended; the writer's thread writes it.
    PostRunRecord(history_, record, outcome);
  }
  board_.Finished(row, run.outcome);
  if (ended) ended(run.outcome);
}

void SeveralWatchRuns::Abandon(std::size_t number) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (number < runs_.size()) {
    std::next(runs_.begin(), static_cast<std::ptrdiff_t>(number))->abandon.Signal();
  }
}

namespace {

// The reporter of a watch that is looked up, not written: its notes go to
// the run log under the watch's tag, nothing to the board.
class LookUpReporter : public FirmwareUpdateReporter {
 public:
  explicit LookUpReporter(std::string tag) : tag_(std::move(tag)) {}
  void PostStatus(const std::u16string&) override {}
  void SetProgressRange(std::uint32_t) override {}
  void SetProgressPosition(std::uint32_t) override {}
  void SetWriting(bool) override {}
  void Note(const std::string& detail) override { WriteRunLog("update: " + tag_ + " " + detail); }

 private:
  std::string tag_;
};

}  // namespace

SkipDecision SeveralWatchRuns::AlreadyCurrent(const WatchToWrite& watch, bool again) {
  LookUpReporter logged(WatchLogTag(watch.serial, watch.port));
  const SkipDecision decision =
      LookUpAlreadyCurrent(HistoryPathOf(history_), watch.serial, firmware_->version, digests_,
                           again, logged);
  logged.Note(std::string("history: ") + (decision.skip ? "not written, " : "written, ") +
              decision.why);
  return decision;
}

void SeveralWatchRuns::LeaveUnwritten(const WatchToWrite& watch, const SkipDecision& decision,
                                      bool listed) {
  LookUpReporter quiet(WatchLogTag(watch.serial, watch.port));
  RunRecord record(quiet, programName_, WatchLogTag(watch.serial, watch.port));
  record.SetWatch(watch.serial, watch.port, watch.location);
  record.SetFirmware(firmware_->version, digests_);
  PostRunRecord(history_, record, RunOutcome::kAlreadyCurrent);
  const std::string text = decision.lastRun ? AlreadyCurrentText(*decision.lastRun) : "";
  if (!listed) {
    board_.Notice({watch.serial, watch.port}, text);
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  Run& run = runs_.emplace_back();
  run.watch = watch;
  run.outcome = {watch.serial, watch.port, RunOutcome::kAlreadyCurrent,
                 RunOutcomeExitCode(RunOutcome::kAlreadyCurrent), 0};
  const std::size_t row = board_.Add({watch.serial, watch.port});
  board_.Status(row, RunOutcomeStatus(RunOutcome::kAlreadyCurrent));
  board_.Finished(row, run.outcome);
}

int SeveralWatchRuns::Stop(int exitCode) {
  std::lock_guard<std::mutex> lock(mutex_);
  stopped_ = true;
  int expected = 0;
  interruptCode_.compare_exchange_strong(expected, exitCode);
  int writing = 0;
  for (Run& run : runs_) {
    // A run that ended answers true too: only one still writing refuses.
    if (!run.gate.RequestClose()) ++writing;
  }
  return writing;
}

std::vector<WatchOutcome> SeveralWatchRuns::WaitForAll() {
  std::vector<WatchOutcome> outcomes;
  for (std::size_t index = 0;; ++index) {
    Run* run = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (index >= runs_.size()) break;
      run = &*std::next(runs_.begin(), static_cast<std::ptrdiff_t>(index));
    }
    if (run->thread.joinable()) run->thread.join();
    outcomes.push_back(run->outcome);
  }
  return outcomes;
}

void StopSeveralWatchesOnInterrupt(SeveralWatchRuns& runs, WatchBoard& board,
                                   std::function<void(int exitCode)> stopped,
                                   bool endAtOnceBeforeWriting) {
  SetInterruptHandler([&runs, &board, stopped = std::move(stopped),
                       endAtOnceBeforeWriting](int exitCode) {
    const int writing = runs.Stop(exitCode);
    if (endAtOnceBeforeWriting && writing == 0 && !runs.AnyWritingBegan()) {
      board.Message(std::string(kCliProgramName) + ": " + Tr("interrupted"));
      WriteRunLog("interrupted before writing began; stopped, exit code " +
                  std::to_string(exitCode));
      board.Interrupted(exitCode);
      EndProgramNow(board.Drain(), kOutputWaitAtInterrupt, exitCode);
    }
    if (writing > 0) {
      board.Message(std::string(kCliProgramName) + ": " +
                    TrN("firmware is being written to {1} watch; it finishes first, then the "
                        "program ends",
                        "firmware is being written to {1} watches; they finish first, then the "
                        "program ends",
                        static_cast<unsigned long>(writing), {std::to_string(writing)}));
      WriteRunLog("interrupt while " + std::to_string(writing) +
                  " watch(es) are being written; they finish first, no other watch starts");
    } else {
      WriteRunLog("interrupt; no watch is being written, no other watch starts");
    }
    if (stopped) stopped(exitCode);
  });
}

}  // namespace kestrune
