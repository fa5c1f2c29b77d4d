#include "app/cli/several_watches.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/cli/console.h"
#include "app/cli/exit_codes.h"
#include "app/cli/fetch_printer.h"
#include "app/cli/interrupt_slot.h"
#include "app/cli/station_ledger.h"
#include "device/device_announcements.h"
#include "i18n/translate.h"
#include "app/cli/watch_board.h"
#include "app/cli/watch_choice.h"
#include "app/cli/watch_runs.h"
#include "transfer/connected_watches.h"
#include "transfer/firmware_fetch.h"
#include "transfer/logged_firmware_update_reporter.h"
#include "transfer/power_check.h"
#include "transfer/run_outcome.h"
#include "transfer/update_environment.h"
#include "update/run_log.h"
#include "update/text_conversion.h"

namespace kestrune {
namespace {

// How often the station looks at the device tree for watches plugged in,
// when the system announces no device.
constexpr std::chrono::milliseconds kStationPollInterval{1000};

// The station's look at the tree every second, which the log does not need.
class QuietReporter : public FirmwareUpdateReporter {
 public:
  void PostStatus(const std::u16string&) override {}
  void SetProgressRange(std::uint32_t) override {}
  void SetProgressPosition(std::uint32_t) override {}
  void SetWriting(bool) override {}
};

// Every watch connected now, each found one and each port passed over noted;
// `treeRead` false when the tree gave no list at all.
std::vector<WatchToWrite> ConnectedWatches(SerialDeviceTree& devices,
                                           FirmwareUpdateReporter& reporter,
                                           bool* treeRead = nullptr) {
  const WatchDiscovery discovery = DiscoverNotedWatches(devices, reporter);
  if (treeRead != nullptr) *treeRead = discovery.treeRead;
  std::vector<WatchToWrite> watches;
  for (const DiscoveredWatch& found : discovery.watches) {
    watches.push_back(WatchToWriteOf(found));
  }
  return watches;
}

// Ends the command as a single run with `outcome` ends (no watch, no images).
int FinishWith(CliOutput& output, FirmwareUpdateReporter& logged, RunOutcome outcome) {
  const std::u16string status = RunOutcomeStatus(outcome);
  if (!status.empty()) logged.PostStatus(status);
  const int code = RunOutcomeExitCode(outcome);
  output.Result(code, RunOutcomeReason(outcome), status, OutcomeMessage(outcome));
  WriteRunLog("update: " + std::string(kCliProgramName) + " exits with " + std::to_string(code));
  return code;
}

void NoteChoices(const CliOptions& options, const UpdateEnvironment& environment,
                 FirmwareUpdateReporter& logged) {
  if (options.offline) {
    logged.Note("offline: the images are the files saved by earlier downloads" +
                (environment.dataFolder.empty() ? std::string()
                                                : " in " + WideToUtf8Text(environment.dataFolder)));
  }
  if (options.verify) logged.Note("every written block is read back before the finish frame");
}

// On a console that cannot redraw lines, plain lines instead.
// With --verbose the run log's lines go to the terminal as they are
// written, between the view's redraws, which would then move up by too few
// lines: the view's lines are printed plainly instead.
OutputStyle BoardStyle(const CliOptions& options, CliOutput& output) {
  if (output.Style() == OutputStyle::kTerminal && (options.verbose || !EnableTerminalRedraw())) {
    return OutputStyle::kPlain;
  }
  return output.Style();
}

// The images fetched once for every watch, into `firmware`; kDone when
// every one is in hand.
RunOutcome FetchOnce(FirmwareUpdateReporter& logged, const SharedManifestText& manifest,
                     const UpdateEnvironment& environment,
                     std::shared_ptr<const FetchedFirmware>& firmware) {
  try {
    auto fetched = std::make_shared<FetchedFirmware>();
    const RunOutcome outcome = FetchFirmware(logged, manifest, environment, *fetched);
    if (outcome == RunOutcome::kDone) firmware = std::move(fetched);
    return outcome;
  } catch (const std::exception& failure) {
    logged.Note(std::string("fetch stopped: ") + failure.what());
  } catch (...) {
    logged.Note("fetch stopped by an unknown exception");
  }
  return RunOutcome::kFailure;
}

// The images fetched once into `firmware`, and the power judged once for
// them: the watches are written side by side, so the writing takes about as
// long as one watch's. kDone when the watches may be written.
RunOutcome ReadyToWrite(FirmwareUpdateReporter& logged, const SharedManifestText& manifest,
                        const UpdateEnvironment& environment,
                        std::shared_ptr<const FetchedFirmware>& firmware) {
  const RunOutcome fetched = FetchOnce(logged, manifest, environment, firmware);
  if (fetched != RunOutcome::kDone) return fetched;
  return CheckPowerBeforeWriting(logged, environment, firmware->totalBlocks);
}

}  // namespace

int UpdateSeveralWatches(const CliOptions& options, const UpdateEnvironment& environment,
                         CliOutput& output, const SharedManifestText& manifest,
                         const std::vector<WatchToWrite>& chosen) {
  FetchPrinter printer(output);
  LoggedFirmwareUpdateReporter logged(printer, UserRunLog(), kCliProgramName);
  NoteChoices(options, environment, logged);
  std::vector<WatchToWrite> watches;
  if (!chosen.empty()) {
    for (const WatchToWrite& watch : chosen) {
      logged.Note("chosen by serial number: " + watch.serial + " on " + watch.port);
    }
    watches = chosen;
  } else if (options.all) {
    watches = ConnectedWatches(environment.devices, logged);
  } else {
    for (const std::string& port : options.ports) {
      logged.Note("port given: " + port + " (discovery skipped)");
      watches.push_back({"", port, ""});
    }
  }
  if (watches.empty()) return FinishWith(output, logged, RunOutcome::kNoWatch);
  std::shared_ptr<const FetchedFirmware> firmware;
  const RunOutcome ready = ReadyToWrite(logged, manifest, environment, firmware);
  if (ready != RunOutcome::kDone) return FinishWith(output, logged, ready);

  WatchBoard board(BoardStyle(options, output), false, output.Drain(), options.quiet);
  std::vector<WatchOutcome> outcomes;
  {
    SeveralWatchRuns runs(firmware, environment.answerTimeout, options.verify, board,
                          kCliProgramName, environment.history);
    StopSeveralWatchesOnInterrupt(runs, board, nullptr);
    for (const WatchToWrite& watch : watches) {
      const SkipDecision current = runs.AlreadyCurrent(watch, options.again);
      if (current.skip) {
        runs.LeaveUnwritten(watch, current, true);
      } else if (!runs.Start(watch)) {
        break;  // interrupted
      }
    }
    outcomes = runs.WaitForAll();
    StopHandlingInterrupts();
  }
  const int code = SeveralWatchesExitCode(outcomes);
  board.Summary(outcomes, code);
  WriteRunLog("update: " + std::string(kCliProgramName) + " exits with " + std::to_string(code));
  return code;
}

int RunStation(const CliOptions& options, const UpdateEnvironment& environment, CliOutput& output,
               const SharedManifestText& manifest) {
  FetchPrinter printer(output);
  LoggedFirmwareUpdateReporter logged(printer, UserRunLog(), kCliProgramName);
  NoteChoices(options, environment, logged);
  logged.Note(std::string("station: begins") +
              (options.again ? "; a watch updated in this session is written again" : ""));
  std::string chosenSerials;
  for (const std::string& serial : options.serials) chosenSerials += " " + serial;
  if (!chosenSerials.empty()) logged.Note("station: writes only the watches" + chosenSerials);
  std::shared_ptr<const FetchedFirmware> firmware;
  const RunOutcome ready = ReadyToWrite(logged, manifest, environment, firmware);
  if (ready != RunOutcome::kDone) return FinishWith(output, logged, ready);

  WatchBoard board(BoardStyle(options, output), true, output.Drain(), options.quiet);
  StationLedger ledger(options.again);
  std::mutex mutex;  // ledger, runOf, stopCode and changed
  std::condition_variable wake;
  int stopCode = 0;
  bool changed = false;                      // a run ended since the last look
  std::map<std::size_t, std::size_t> runOf;  // the ledger's watch -> its last run
  // The watches --serial leaves out, each said once (by serial number, or
  // by port for one without).
  std::set<std::string> notChosenSaid;
  // A serial port announced by the system is looked for at once.
  DeviceAnnouncements announcements([&] {
    WriteRunLog("update: station: the system announced a serial port; the tree is listed now");
    std::lock_guard<std::mutex> lock(mutex);
    changed = true;
    wake.notify_all();
  });
  logged.Note(announcements.Listening()
                  ? "station: the system's serial-port announcements are listened to; the tree "
                    "is also listed every second"
                  : "station: the system announces no serial port here; the tree is listed "
                    "every second");
  {
    SeveralWatchRuns runs(firmware, environment.answerTimeout, options.verify, board,
                          kCliProgramName, environment.history);
    StopSeveralWatchesOnInterrupt(
        runs, board,
        [&](int exitCode) {
          std::lock_guard<std::mutex> lock(mutex);
          stopCode = exitCode;
          wake.notify_all();
        },
        /*endAtOnceBeforeWriting=*/false);
    output.Message(std::string(kCliProgramName) + ": " +
                   Tr("waiting for watches; Ctrl-C ends the station"));
    // The count line from the ledger: each watch by its last run. Called
    // under `mutex`, so the counts reach the board in the ledger's order.
    const auto count = [&board, &ledger] {
      const StationTally tally = ledger.Tally();
      board.WatchCount(tally.writing, tally.done, tally.failed);
    };
    // Said of a watch on the board and in the run log.
    const auto say = [&board](const SeenWatch& seen, const SaidText& text) {
      board.Notice({seen.serial, seen.port}, text.shown);
      WriteRunLog("update: " + WatchLogTag(seen.serial, seen.port) + " " + text.english);
    };
    bool treeUnreadSaid = false;
    for (;;) {
      // The tree is read without the lock: a run's end must not wait for it.
      std::vector<SeenWatch> listing;
      QuietReporter quiet;
      bool treeRead = true;
      const std::vector<WatchToWrite> connected =
          ConnectedWatches(environment.devices, quiet, &treeRead);
      // A tree that cannot be read says nothing of who left: no run is
      // ended for it, and the next look tries again.
      if (!treeRead && !treeUnreadSaid) {
        WriteRunLog("update: station: the device tree cannot be read; no watch is taken for "
                    "gone until it can");
      } else if (treeRead && treeUnreadSaid) {
        WriteRunLog("update: station: the device tree can be read again");
      }
      treeUnreadSaid = !treeRead;
      for (const WatchToWrite& watch : connected) {
        if (!StationWrites(options.serials, watch.serial)) {
          if (notChosenSaid.insert(watch.serial.empty() ? watch.port : watch.serial).second) {
            const std::string text = Tr("not chosen (--serial): left alone");
            board.Notice({watch.serial, watch.port}, text);
            WriteRunLog("update: " + WatchLogTag(watch.serial, watch.port) + " " + text);
          }
          continue;
        }
        listing.push_back({watch.serial, watch.port, watch.location});
      }
      std::unique_lock<std::mutex> lock(mutex);
      if (stopCode != 0) break;
      changed = false;
      const auto now = StationLedger::Clock::now();
      std::vector<std::size_t> toStart;
      const std::vector<StationStep> steps =
          treeRead ? ledger.Look(listing, now) : std::vector<StationStep>{};
      for (const StationStep& step : steps) {
        const SeenWatch seen = ledger.Watch(step.watch);
        if (step.kind == StationStep::kNotice) {
          say(seen, {step.text, step.shown});
        } else if (step.kind == StationStep::kAbandon) {
          if (runOf.count(step.watch) != 0) runs.Abandon(runOf[step.watch]);
        } else {
          if (!step.text.empty()) {
            say(seen, {"written again: " + step.text, Tr("written again: {1}", {step.shown})});
          }
          ledger.Started(step.watch);
          toStart.push_back(step.watch);
        }
      }
      if (!toStart.empty()) count();
      // Started without the lock: a run that cannot get a thread ends at once
      // and reports on this thread.
      lock.unlock();
      for (const std::size_t watch : toStart) {
        std::size_t run = 0;
        const SeenWatch seen = [&] {
          std::lock_guard<std::mutex> held(mutex);
          return ledger.Watch(watch);
        }();
        // Across sessions: the history says whether an earlier one (or any
        // program here) already gave it this firmware.
        const WatchToWrite toWrite{seen.serial, seen.port, seen.location};
        const SkipDecision current = runs.AlreadyCurrent(toWrite, options.again);
        if (current.skip) {
          runs.LeaveUnwritten(toWrite, current, false);
          std::lock_guard<std::mutex> held(mutex);
          ledger.LeftAsItWas(watch);
          count();
          continue;
        }
        const bool started = runs.Start(
            toWrite,
            [&, watch](const WatchOutcome& ended) {
              std::lock_guard<std::mutex> held(mutex);
              const StationRetry retry = ledger.Finished(watch, ended.outcome, ended.seconds,
                                                         StationLedger::Clock::now(), ended.cause);
              if (retry.scheduled && stopCode == 0) {
                say(ledger.Watch(watch),
                    Said("port unavailable; tried again in {1} s (try {2} of {3})",
                         {std::to_string(retry.after.count()), std::to_string(retry.attempt),
                          std::to_string(StationLedger::kPortTries)}));
              }
              count();
              changed = true;
              wake.notify_all();
            },
            &run);
        std::lock_guard<std::mutex> held(mutex);
        if (!started) {
          // Stopped meanwhile: the watch keeps its earlier end.
          ledger.Finished(watch, RunOutcome::kClosedBeforeWriting, 0, StationLedger::Clock::now());
          count();
          continue;
        }
        runOf[watch] = run;
      }
      lock.lock();
      if (stopCode != 0) break;
      // The next look: at the poll interval, at a retry that is due, when a
      // run ends, or when the system announces a device.
      auto until = now + kStationPollInterval;
      StationLedger::Clock::time_point retryAt;
      if (ledger.NextRetry(retryAt) && retryAt < until) until = retryAt;
      wake.wait_until(lock, until, [&] { return stopCode != 0 || changed; });
      if (stopCode != 0) break;
    }
    runs.WaitForAll();
    StopHandlingInterrupts();
  }
  // Every watch's last outcome: one kept from writing by the interrupt
  // carries the interrupt's code.
  std::vector<WatchOutcome> outcomes = ledger.Results();
  for (WatchOutcome& outcome : outcomes)
    outcome.exitCode = WatchExitCode(outcome.outcome, stopCode);
  const int code = StationExitCode(outcomes, stopCode);
  board.Summary(outcomes, code);
  WriteRunLog("update: station: " + std::string(kCliProgramName) + " exits with " +
              std::to_string(code));
  return code;
}

}  // namespace kestrune
