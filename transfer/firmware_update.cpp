#include "transfer/firmware_update.h"

#include <chrono>
#include <vector>

#include "device/device_discovery.h"
#include "device/watch_discovery.h"
#include "history/history_writer.h"
#include "transfer/firmware_fetch.h"
#include "transfer/power_check.h"
#include "transfer/watch_history.h"
#include "transfer/watch_write.h"
#include "update/text_conversion.h"

namespace kestrune {
namespace {

void NoteCandidates(FirmwareUpdateReporter& reporter,
                    const std::vector<DiscoveryCandidate>& candidates) {
  if (candidates.empty()) reporter.Note("discovery: no serial port device present");
  for (const DiscoveryCandidate& candidate : candidates) {
    std::string line = "discovery: " + WideToUtf8Text(candidate.instanceId);
    if (!candidate.parentId.empty()) line += ", parent " + WideToUtf8Text(candidate.parentId);
    if (!candidate.path.empty()) line += ", port " + WideToUtf8Text(candidate.path);
    reporter.Note(line + ": " + candidate.verdict);
  }
}

// The watch on `portPath` as the device tree names it (serial number and
// place), for the history; only the port when the tree does not list it.
void IdentifyWatch(const UpdateEnvironment& environment, const std::u16string& portPath,
                   RunRecord& record) {
  std::string serial, location;
  try {
    for (const DiscoveredWatch& watch :
         DiscoverWatches(environment.devices, kWatchVendorId, kWatchProductId).watches) {
      if (watch.portPath == portPath) {
        serial = WideToUtf8Text(watch.usbSerial);
        location = WideToUtf8Text(watch.usbLocation);
        break;
      }
    }
  } catch (...) {
    // A tree that cannot be read names nothing; the port still says where.
  }
  record.SetWatch(serial, WideToUtf8Text(portPath), location);
}

// One run in its order: discovery, the port opened, the fetch phase, then
// (unless the history says the watch already has this firmware) the power
// check and the write phase on the open port. Raises what the link raises
// (a block's failure with the block); everything else ends in the returned
// outcome, whose status the caller posts.
RunOutcome RunInOrder(RunRecord& reporter, const UpdateEnvironment& environment,
                      WritingSpan& writing) {
  const auto started = std::chrono::steady_clock::now();
  std::u16string portPath = environment.portPath;
  if (portPath.empty()) {
    std::vector<DiscoveryCandidate> candidates;
    portPath =
        FindDevicePortPath(environment.devices, kWatchVendorId, kWatchProductId, &candidates);
    NoteCandidates(reporter, candidates);
  } else {
    reporter.Note("port given: " + WideToUtf8Text(portPath) + " (discovery skipped)");
  }
  if (portPath.empty()) {
    reporter.SetCause({RunCauseKind::kNoWatch});
    return RunOutcome::kNoWatch;
  }
  IdentifyWatch(environment, portPath, reporter);
  reporter.Note("opening " + WideToUtf8Text(portPath));
  WatchConnection connection(portPath, environment.answerTimeout);
  FetchedFirmware firmware;
  const RunOutcome fetched =
      FetchFirmware(reporter, environment.manifestText(), environment, firmware);
  if (fetched != RunOutcome::kDone) return fetched;  // `connection` closes the port
  const std::vector<ImageDigest> digests = ImageDigests(firmware);
  reporter.SetFirmware(firmware.version, digests);
  if (environment.skipWatchWithOfferedFirmware) {
    const SkipDecision decision =
        LookUpAlreadyCurrent(HistoryPathOf(environment.history), reporter.Serial(),
                             firmware.version, digests, false, reporter);
    if (decision.skip) {
      reporter.Note("history: not written, " + decision.why);
      reporter.WatchAlreadyCurrent(AlreadyCurrentText(*decision.lastRun));
      return RunOutcome::kAlreadyCurrent;  // `connection` closes the port, nothing was sent
    }
    reporter.Note("history: written, " + decision.why);
  }
  const RunOutcome power = CheckPowerBeforeWriting(reporter, environment, firmware.totalBlocks);
  if (power != RunOutcome::kDone) return power;
  return connection.WriteFirmware(firmware, reporter, writing, environment.closeGate,
                                  environment.verifyWrittenBlocks, started);
}

}  // namespace

std::u16string StatusWithCloseDeferred(const std::u16string& status) {
  if (status.empty() || status == kCloseDeferred) return kCloseDeferred;
  return std::u16string(kCloseDeferred) + u"（" + status + u"）";
}

RunOutcome RunFirmwareUpdateProcedure(FirmwareUpdateReporter& reporter,
                                      const UpdateEnvironment& environment) {
  // This is the body of a worker thread: nothing may leave it as an
  // exception, and the reporter hears how every run ended.
  RunRecord record(reporter, environment.programName);
  WritingSpan writing(record, environment.closeGate);
  const RunOutcome outcome =
      RunToItsEnd(record, writing, [&] { return RunInOrder(record, environment, writing); });
  // After the run's end, never during it: the writer's thread takes the row.
  PostRunRecord(environment.history, record, outcome);
  return outcome;
}

}  // namespace kestrune
