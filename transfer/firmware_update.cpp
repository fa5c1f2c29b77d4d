#include "transfer/firmware_update.h"

#include <chrono>
#include <vector>

#include "device/device_discovery.h"
#include "transfer/firmware_fetch.h"
#include "transfer/power_check.h"
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

// One run in its order: discovery, the port opened, the fetch phase, the
// power check, then the write phase on the open port. Raises what the link raises (a block's
// failure with the block); everything else ends in the returned outcome,
// whose status the caller posts.
RunOutcome RunInOrder(FirmwareUpdateReporter& reporter, const UpdateEnvironment& environment,
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
  if (portPath.empty()) return RunOutcome::kNoWatch;
  reporter.Note("opening " + WideToUtf8Text(portPath));
  WatchConnection connection(portPath, environment.answerTimeout);
  FetchedFirmware firmware;
  const RunOutcome fetched =
      FetchFirmware(reporter, environment.manifestText(), environment, firmware);
  if (fetched != RunOutcome::kDone) return fetched;  // `connection` closes the port
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
  WritingSpan writing(reporter, environment.closeGate);
  return RunToItsEnd(reporter, writing, [&] { return RunInOrder(reporter, environment, writing); });
}

}  // namespace kestrune
