#include "app/cli/cli_commands.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>

#include "app/cli/bundle_download.h"
#include "app/cli/console.h"
#include "app/cli/exit_codes.h"
#include "app/cli/program_end.h"
#include "app/cli/several_watches.h"
#include "app/cli/watch_choice.h"
#include "device/watch_discovery.h"
#include "device/port_holders.h"
#include "history/history_database.h"
#include "history/history_listing.h"
#include "history/history_writer.h"
#include "i18n/translate.h"
#include "transfer/close_gate.h"
#include "transfer/connected_watches.h"
#include "transfer/firmware_update.h"
#include "transfer/logged_runs.h"
#include "transfer/power_check.h"
#include "transfer/run_outcome.h"
#include "transfer/update_environment.h"
#include "transfer/watch_write.h"
#include "update/run_log.h"
#include "update/text_conversion.h"
#include "update/update_check.h"

namespace kestrune {
namespace {

class CheckPrinter : public UpdateCheckReporter {
 public:
  // The manifest text goes to `manifestText`, where an update reads it.
  CheckPrinter(CliOutput& output, SharedManifestText& manifestText)
      : output_(output), manifestText_(manifestText) {}
  void PostStatus(const std::u16string& text) override { output_.Status(text); }
  void StoreManifestText(const std::string& text) override {
    manifestText_ = std::make_shared<const std::string>(text);
  }
  void ShowFirmwareVersion(const std::u16string& version) override { this->version = version; }
  void ShowReleaseNotes(const std::u16string& notes) override { releaseNotes = notes; }

  UpdateCheckOutcome outcome = UpdateCheckOutcome::kNoUpdateData;
  std::u16string version;
  std::u16string releaseNotes;

 private:
  CliOutput& output_;
  SharedManifestText& manifestText_;
};

class UpdatePrinter : public FirmwareUpdateReporter {
 public:
  UpdatePrinter(CliOutput& output, std::atomic<bool>& writingBegan)
      : output_(output), writingBegan_(writingBegan) {}
  void PostStatus(const std::u16string& text) override { output_.Status(text); }
  void SetProgressRange(std::uint32_t maximum) override { total_ = maximum; }
  void SetProgressPosition(std::uint32_t position) override { output_.Progress(position, total_); }
  void SetWriting(bool writing) override {
    if (writing) writingBegan_ = true;
  }
  void VerifyingBlocks(std::uint32_t blocks) override { output_.Verifying(blocks); }
  void WatchAlreadyCurrent(const std::string& text) override { alreadyCurrent = text; }
  // The holders are said beneath the status, with the cause.
  void SetCause(const RunCause& cause) override { this->cause = cause; }

  std::string alreadyCurrent;  // what the history said of a watch left unwritten
  RunCause cause;              // why the run failed, set by the run itself

 private:
  CliOutput& output_;
  std::atomic<bool>& writingBegan_;
  std::uint32_t total_ = 0;
};

// An interrupt decides a close through the run's gate: before writing has
// begun the process ends at once (the run then never begins writing); once
// writing has begun the run goes on to its end, and so does the program,
// with the run's exit code, even when the interrupt comes after the last
// block. The decision never waits for the output: what it says is handed
// to the output thread.
void ListenForInterrupts(CloseGate& gate, const std::atomic<bool>& writingBegan,
                         CliOutput& output) {
  HandleInterrupts([&gate, &writingBegan, &output](int exitCode) {
    if (!writingBegan && gate.RequestClose()) {
      output.Message(std::string(kCliProgramName) + ": " + Tr("interrupted"));
      WriteRunLog("interrupted before writing began; stopped, exit code " +
                  std::to_string(exitCode));
      output.Result(exitCode, ExitReason(exitCode), u"");
      EndProgramNow(output.Drain(), kOutputWaitAtInterrupt, exitCode);
    }
    output.Message(std::string(kCliProgramName) + ": " +
                   Tr("firmware is being written; the update finishes first, then the program "
                      "ends"));
    WriteRunLog("interrupt during writing; the run finishes first");
  });
}

// A battery too weak for the writing: refused with the advice to connect
// the charger, unless --ignore-power, which goes on and says so.
void AnswerWeakBatteryOnTheCommandLine(UpdateEnvironment& environment, CliOutput& output,
                                       bool ignorePower) {
  environment.goOnWithWeakBattery = [&output, ignorePower](const PowerShortage& shortage) {
    const std::string facts = DescribePowerShortage(shortage);
    if (ignorePower) {
      output.Message(std::string(kCliProgramName) + ": " +
                     Tr("{1}; going on (--ignore-power)", {facts}));
      return true;
    }
    output.Message(std::string(kCliProgramName) + ": " +
                   Tr("{1}: {2} (or give --ignore-power); nothing was written",
                      {facts, Tr(kConnectChargerAdvice)}));
    return false;
  };
}

// The command's runs share one set of surroundings, filled once: the
// check's manifest text is what an update then writes.
struct CliRun {
  UpdateEnvironment environment;
  SharedManifestText checkedManifest;
  RunCause folderCause;  // the data folder cannot take the files
};

// What a failed run is said to have failed for: without a data folder the
// manifest and the images have nowhere to go, which is no fault of the
// service's or the network's.
RunCause CauseToSay(const RunCause& runCause, const RunCause& folderCause) {
  const bool aboutTheFiles = runCause.kind == RunCauseKind::kNoUpdateData ||
                             runCause.kind == RunCauseKind::kImageDownloadFailed ||
                             runCause.kind == RunCauseKind::kServiceUnreachableSavedImages ||
                             runCause.kind == RunCauseKind::kNoSpace;
  return folderCause.Known() && aboutTheFiles ? folderCause : runCause;
}

CheckPrinter RunCheck(CliOutput& output, CliRun& run) {
  CheckPrinter printer(output, run.checkedManifest);
  printer.outcome = RunLoggedUpdateCheck(printer, run.environment);
  return printer;
}

int Check(const CliOptions& options, CliOutput& output, CliRun& run) {
  const CheckPrinter check = RunCheck(output, run);
  // A check that shows a manifest is done, whichever source it came from.
  const RunOutcome outcome = check.outcome == UpdateCheckOutcome::kNoUpdateData
                                 ? RunOutcome::kNoUpdateData
                                 : RunOutcome::kDone;
  std::vector<std::pair<std::string, std::string>> extra;
  if (outcome == RunOutcome::kDone) {
    extra = {{"firmware_version", WideToUtf8Text(check.version)},
             {"release_note", WideToUtf8Text(check.releaseNotes)},
             {"source",
              !options.bundle.empty()
                  ? output.Say("bundle {1} (offline)", {WideToUtf8Text(run.environment.dataFolder)})
              : options.offline ? output.Say("saved manifest (offline)")
              : check.outcome == UpdateCheckOutcome::kFromSavedManifest
                  ? output.Say("saved manifest (service unreachable)")
                  : output.Say("service")}};
  }
  const int code = RunOutcomeExitCode(outcome);
  const RunCause cause = outcome == RunOutcome::kDone
                             ? RunCause{}
                             : CauseToSay({RunCauseKind::kNoUpdateData}, run.folderCause);
  output.Result(code, RunOutcomeReason(outcome), UpdateCheckStatus(check.outcome), extra, cause);
  return code;
}

// The watches in the device tree now, read without opening a port, each
// noted in the run log; none when the tree cannot be read (the log says
// why), so a port given is still tried and discovery still has its say.
std::vector<WatchToWrite> ListForChoice(SerialDeviceTree& devices) {
  std::vector<WatchToWrite> connected;
  WatchDiscovery discovery;
  try {
    discovery = DiscoverWatches(devices, kWatchVendorId, kWatchProductId, PortProbe::kTreeOnly);
  } catch (const std::exception& failure) {
    WriteRunLog(std::string("update: choosing: the device tree cannot be read: ") + failure.what());
  } catch (...) {
    WriteRunLog("update: choosing: the device tree cannot be read");
  }
  for (const DiscoveredWatch& found : discovery.watches) {
    const WatchToWrite& watch = connected.emplace_back(WatchToWriteOf(found));
    WriteRunLog("update: choosing: watch " +
                (watch.serial.empty() ? "(no serial number)" : watch.serial) + " on " + watch.port +
                (watch.location.empty() ? "" : " at " + watch.location));
  }
  return connected;
}

// The result's message when the text has said it on standard error
// already: in JSON only.
std::vector<std::pair<std::string, std::string>> JsonMessage(const CliOutput& output,
                                                             const std::string& message) {
  if (output.Style() != OutputStyle::kJson) return {};
  return {{"message", message}};
}

// Ends an update whose choice of watches failed before anything was
// fetched: `message` on standard error and in the result.
int RefuseChoice(CliOutput& output, int code, const std::u16string& status,
                 const std::string& message) {
  if (!status.empty()) output.Status(status);
  output.Message(std::string(kCliProgramName) + ": " + message);
  output.Result(code, ExitReason(code), status, JsonMessage(output, message));
  WriteRunLog("update: " + message + "; " + std::string(kCliProgramName) + " exits with " +
              std::to_string(code));
  return code;
}

// Several watches connected and none chosen: they are listed, one line
// each, as flashing tools list theirs when the choice is the user's.
int RefuseAmbiguousChoice(CliOutput& output, const std::vector<WatchToWrite>& watches) {
  const int badUsage = static_cast<int>(ExitCode::kBadUsage);
  const std::string message =
      Tr("{1} watches are connected: choose one with --serial (or --port), or every one "
         "with --all",
         {std::to_string(watches.size())});
  output.Message(std::string(kCliProgramName) + ": " + message);
  for (const WatchToWrite& watch : watches) output.Message(ChoiceLine(watch));
  output.Result(badUsage, ExitReason(badUsage), u"", JsonMessage(output, message));
  WriteRunLog("update: " + std::to_string(watches.size()) +
              " watches connected and none chosen; nothing fetched or written; " + kCliProgramName +
              " exits with " + std::to_string(badUsage));
  return badUsage;
}

int Update(const CliOptions& options, CliOutput& output, CliRun& run,
           std::atomic<bool>& writingBegan) {
  // The choice of watches first: a wrong or missing one fetches nothing.
  WatchChoice choice;
  if (!options.all) {
    choice =
        ChooseWatches(options, ListForChoice(run.environment.devices), [](const std::string& port) {
          std::error_code ignored;
          return std::filesystem::exists(Utf8ToWideText(port), ignored);
        });
  }
  switch (choice.kind) {
    case WatchChoice::kAmbiguous: return RefuseAmbiguousChoice(output, choice.watches);
    case WatchChoice::kSerialNotConnected:
      return RefuseChoice(output, RunOutcomeExitCode(RunOutcome::kNoWatch), kConnectWatch,
                          Tr("no watch with serial number {1} is connected", {choice.word}));
    case WatchChoice::kSerialGivenAsPort:
      return RefuseChoice(
          output, static_cast<int>(ExitCode::kBadUsage), u"",
          Tr("{1} is a serial number: use --serial {2}", {choice.word, choice.word}));
    case WatchChoice::kBySerial:
      if (choice.watches.size() == 1) {
        run.environment.portPath = Utf8ToWideText(choice.watches.front().port);
        WriteRunLog("update: chosen by serial number: " + choice.watches.front().serial + " on " +
                    choice.watches.front().port);
      }
      break;
    case WatchChoice::kDiscover:
    case WatchChoice::kEveryWatch:
    case WatchChoice::kPorts: break;
  }
  // As the dialog runs them, with the port given on the command line.
  RunCheck(output, run);
  if (choice.kind == WatchChoice::kBySerial && choice.watches.size() > 1) {
    return UpdateSeveralWatches(options, run.environment, output, run.checkedManifest,
                                choice.watches);
  }
  if (options.all || options.ports.size() > 1) {
    return UpdateSeveralWatches(options, run.environment, output, run.checkedManifest);
  }
  UpdatePrinter printer(output, writingBegan);
  run.environment.skipWatchWithOfferedFirmware = !options.again;
  const RunOutcome outcome = RunLoggedFirmwareUpdate(printer, run.environment);
  const int code = RunOutcomeExitCode(outcome);
  std::vector<std::pair<std::string, std::string>> extra = OutcomeMessage(outcome);
  if (outcome == RunOutcome::kAlreadyCurrent) {
    extra = {{"message", output.Say("the watch {1}; not written (--again writes it anyway)",
                                    {printer.alreadyCurrent})}};
  }
  output.Result(
      code, RunOutcomeReason(outcome), RunOutcomeStatus(outcome), extra,
      outcome == RunOutcome::kDone ? RunCause{} : CauseToSay(printer.cause, run.folderCause));
  // Last, so a closed output's note comes before it.
  WriteRunLog("update: " + std::string(kCliProgramName) + " exits with " + std::to_string(code));
  return code;
}

// Why a listed watch's port would not serve an update (no cause: it
// would): the discovery's probe could not open it for exclusive use (told
// apart by opening it as an update does), or it opened but another program
// has it open too, which an update refuses.
RunCause PortCause(const DiscoveredWatch& watch) {
  const std::string port = WideToUtf8Text(watch.portPath);
  if (watch.opensNow) {
    const std::vector<PortHolder> holders = OtherPortHolders(port);
    if (holders.empty()) return {};
    RunCause held{RunCauseKind::kPortBusy, port};
    held.holder = DescribePortHolders(holders);
    return held;
  }
  const RunCause why = ProbeWatchPort(watch.portPath);
  // Freed in between: still not one the listing saw open.
  return why.Known() ? why : RunCause{RunCauseKind::kPortBusy, port};
}

// Every connected watch with whether its port opens and, when not, why; the
// first that opens is marked as the one an update would open. With
// --verbose also the serial ports that are not a watch's, and why. Exit 0
// when a watch opens, 8 when watches are listed but none opens, 3 when none
// is listed.
int Devices(const CliOptions& options, CliOutput& output) {
  const WatchDiscovery found = ListConnectedWatches();
  const DiscoveredWatch* picked = nullptr;
  RunCause firstCause;  // of the first watch that does not open
  for (const DiscoveredWatch& watch : found.watches) {
    const std::string port = WideToUtf8Text(watch.portPath);
    const std::string serial = WideToUtf8Text(watch.usbSerial);
    const std::string location = WideToUtf8Text(watch.usbLocation);
    const RunCause cause = PortCause(watch);
    if (!cause.Known() && picked == nullptr) picked = &watch;
    if (cause.Known() && !firstCause.Known()) firstCause = cause;
    WriteRunLog("devices: watch on " + port + ", serial " + (serial.empty() ? "(none)" : serial) +
                ", at " + (location.empty() ? "(unknown)" : location) + ", " +
                (cause.Known() ? "does not open: " + DescribeRunCause(cause) : "opens"));
    output.Watch(port, serial, location, cause, &watch == picked);
  }
  for (const PassedOverPort& port : found.passedOver) {
    const std::string instanceId = WideToUtf8Text(port.instanceId);
    const std::string path = WideToUtf8Text(port.path);
    WriteRunLog("devices: " + (instanceId.empty() ? std::string("(no instance ID)") : instanceId) +
                (path.empty() ? "" : " " + path) + ": " + port.reason);
    if (options.verbose) output.PassedOver(instanceId, path, port.reason);
  }
  const RunOutcome outcome = picked != nullptr       ? RunOutcome::kDone
                             : found.watches.empty() ? RunOutcome::kNoWatch
                                                     : RunOutcome::kPortUnavailable;
  RunCause cause;
  if (outcome == RunOutcome::kNoWatch) cause = RunCause{RunCauseKind::kNoWatch};
  // A port the user may not open is worth the hint even when another opens.
  if (outcome == RunOutcome::kPortUnavailable ||
      firstCause.kind == RunCauseKind::kPermissionDenied) {
    cause = firstCause;
  }
  const std::u16string status = RunOutcomeStatus(outcome);
  if (outcome != RunOutcome::kDone) {
    output.Status(status);  // said as an update would say it
    WriteRunLog("devices: status " + WideToUtf8Text(status) +
                (outcome == RunOutcome::kNoWatch
                     ? ": no serial port of a device with the watch's USB identity (" +
                           std::to_string(found.passedOver.size()) + " other port(s) passed over)"
                     : ": no watch's port opens"));
  }
  const int code = RunOutcomeExitCode(outcome);
  // The mark says it on a terminal; a script reads the port from JSON.
  std::vector<std::pair<std::string, std::string>> extra;
  if (output.Style() == OutputStyle::kJson) {
    extra = {{"picked", picked != nullptr ? WideToUtf8Text(picked->portPath) : ""}};
  }
  output.Result(code, RunOutcomeReason(outcome), outcome == RunOutcome::kDone ? u"" : status, extra,
                cause);
  WriteRunLog("devices: " + std::string(kCliProgramName) + " exits with " + std::to_string(code));
  return code;
}

// The runs recorded on this computer, newest first, as text, JSON lines or
// CSV on standard output.
int History(const CliOptions& options, CliOutput& output) {
  const std::u16string path = UserHistoryPath();
  HistoryDatabase history(path, std::chrono::milliseconds(2000),
                          [](const std::string& note) { WriteRunLog(note); });
  std::vector<HistoryRow> rows;
  std::string error;
  const std::string serial = options.serials.empty() ? std::string() : options.serials.front();
  if (!history.Query({serial, options.sinceUtc}, rows, error)) {
    WriteRunLog("history: " + WideToUtf8Text(path) + " cannot be read: " + error);
    output.Message(std::string(kCliProgramName) + ": " +
                   Tr("the history cannot be read: {1}", {error}));
    const RunOutcome outcome = RunOutcome::kFailure;
    output.Result(RunOutcomeExitCode(outcome), RunOutcomeReason(outcome), u"",
                  {{"message", error}});
    return RunOutcomeExitCode(outcome);
  }
  const HistoryFormat format = options.json  ? HistoryFormat::kJsonLines
                               : options.csv ? HistoryFormat::kCsv
                                             : HistoryFormat::kText;
  output.Lines(FormatHistory(rows, format));
  if (format == HistoryFormat::kText && rows.empty()) {
    const std::string none =
        serial.empty()
            ? (options.since.empty() ? Tr("no run recorded")
                                     : Tr("no run recorded since {1}", {options.since}))
            : (options.since.empty() ? Tr("no run recorded for watch {1}", {serial})
                                     : Tr("no run recorded for watch {1} since {2}",
                                          {serial, options.since}));
    output.Message(std::string(kCliProgramName) + ": " + none);
  }
  const int code = RunOutcomeExitCode(RunOutcome::kDone);
  if (format == HistoryFormat::kJsonLines) {
    output.Result(code, RunOutcomeReason(RunOutcome::kDone), u"",
                  {{"rows", std::to_string(rows.size())}});
  }
  return code;
}

int RunCommand(const CliOptions& options, CliOutput& output, CliRun& run,
               std::atomic<bool>& writingBegan) {
  switch (options.command) {
    case CliCommand::kCheck: return Check(options, output, run);
    case CliCommand::kUpdate: return Update(options, output, run, writingBegan);
    case CliCommand::kDevices: return Devices(options, output);
    case CliCommand::kStation:
      RunCheck(output, run);
      return RunStation(options, run.environment, output, run.checkedManifest);
    case CliCommand::kHistory: return History(options, output);
    case CliCommand::kDownload: return DownloadBundle(run.environment, output, run.checkedManifest);
    case CliCommand::kHelp:
    case CliCommand::kVersion: break;  // answered before any run
  }
  return static_cast<int>(ExitCode::kBadUsage);
}

}  // namespace

int RunCliCommand(const CliOptions& options, CliOutput& output, const RunCause& folderCause) {
  // Before anything else starts a thread, so the signals reach only the
  // thread that waits for them.
  static CloseGate gate;
  static std::atomic<bool> writingBegan{false};
  ListenForInterrupts(gate, writingBegan, output);
  // An interrupt that comes while the program ends must not reach `output`
  // once main has destroyed it.
  struct StopListening {
    ~StopListening() { StopHandlingInterrupts(); }
  } stopListening;
  CliRun run{
      PlatformUpdateEnvironment(kCliProgramName, options.offline ? UpdateDataSource::kSavedFiles
                                                                 : UpdateDataSource::kService),
      nullptr, folderCause};
  if (folderCause.Known()) {
    WriteRunLog(std::string(kCliProgramName) + ": " + DescribeRunCause(folderCause) +
                "; the run log goes to standard error");
  }
  // A bundle's folder for the manifest and the images, else --data-dir's.
  const std::string& folder = !options.bundle.empty() ? options.bundle : options.dataDir;
  if (!folder.empty()) {
    // Absolute, so the run log says which folder whatever the directory.
    std::error_code ignored;
    const std::filesystem::path given(Utf8ToWideText(folder));
    const std::filesystem::path absolute = std::filesystem::absolute(given, ignored);
    run.environment.dataFolder = (absolute.empty() ? given : absolute).u16string();
  }
  run.environment.verifyWrittenBlocks = options.verify;
  AnswerWeakBatteryOnTheCommandLine(run.environment, output, options.ignorePower);
  run.environment.closeGate = &gate;
  run.environment.portPath = Utf8ToWideText(options.port);
  run.environment.manifestText = [&run] { return run.checkedManifest; };
  const int code = RunCommand(options, output, run, writingBegan);
  // The rows of the watches written go to the file before the program ends;
  // a file locked past every attempt has its rows dropped, the log says so.
  if (run.environment.history != nullptr &&
      !run.environment.history->Flush(kHistoryBusyTimeout * (kHistoryWriteAttempts + 1))) {
    WriteRunLog("history: rows still waiting when " + std::string(kCliProgramName) +
                " ends are not written");
  }
  return code;
}

}  // namespace kestrune
