#include "transfer/power_check.h"

#include <cmath>
#include <cstdio>

#include "transfer/close_gate.h"
#include "transfer/device_frame.h"

namespace kestrune {
namespace {

// 10 bits on the wire per byte: start, 8 data bits, stop.
constexpr std::uint64_t kLineBytesPerSecond = 9600 / 10;
constexpr std::uint64_t kLineBytesPerBlock = (kChunksPerBlock + 2) * kFrameSize;

const char* VerdictText(PowerVerdict verdict) {
  switch (verdict) {
    case PowerVerdict::kBatteryLow: return "battery below 25 %";
    case PowerVerdict::kTooLittleTimeLeft: return "less battery time than twice the writing";
    case PowerVerdict::kGoOn: break;
  }
  return "enough power";
}

std::string DescribeStatus(const PowerStatus& status) {
  if (!status.known) return "no power information";
  if (!status.onBattery) return "on the charger";
  std::string text = "on battery";
  if (status.percent) {
    char percent[32];
    std::snprintf(percent, sizeof percent, ", %.0f %%", *status.percent);
    text += percent;
  }
  if (status.timeLeft) text += ", " + ClockText(*status.timeLeft) + " left";
  return text;
}

}  // namespace

std::chrono::milliseconds EstimatedWritingTime(std::uint32_t blocks, bool readBack) {
  const std::uint64_t bytes = std::uint64_t{blocks} * kLineBytesPerBlock * (readBack ? 2 : 1);
  return std::chrono::milliseconds((bytes * 1000 + kLineBytesPerSecond - 1) / kLineBytesPerSecond);
}

PowerVerdict JudgePower(const PowerStatus& status, std::chrono::milliseconds writing) {
  if (!status.known || !status.onBattery) return PowerVerdict::kGoOn;
  if (status.percent && *status.percent < kLowestBatteryPercent) return PowerVerdict::kBatteryLow;
  if (status.timeLeft && *status.timeLeft < 2 * writing) return PowerVerdict::kTooLittleTimeLeft;
  return PowerVerdict::kGoOn;
}

std::string ClockText(std::chrono::milliseconds duration) {
  const long long total = (duration.count() + 999) / 1000;
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60,
                  total % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
  }
  return text;
}

std::string DescribePowerShortage(const PowerShortage& shortage) {
  return DescribeStatus(shortage.status) + "; the writing takes about " +
         ClockText(shortage.writing) + " (" + std::to_string(shortage.blocks) +
         " blocks): " + VerdictText(shortage.verdict);
}

RunOutcome CheckPowerBeforeWriting(FirmwareUpdateReporter& reporter,
                                   const UpdateEnvironment& environment, std::uint32_t blocks) {
  if (!environment.goOnWithWeakBattery) return RunOutcome::kDone;
  const std::chrono::milliseconds writing =
      EstimatedWritingTime(blocks, environment.verifyWrittenBlocks);
  const PowerStatus status = ReadPowerStatus();
  const PowerShortage shortage{status, blocks, writing, JudgePower(status, writing)};
  const std::string facts = DescribePowerShortage(shortage);
  if (shortage.verdict == PowerVerdict::kGoOn) {
    reporter.Note("power: " + facts);
    return RunOutcome::kDone;
  }
  reporter.Note("power: " + facts + "; asking whether to go on");
  const bool goOn = environment.goOnWithWeakBattery(shortage);
  if (environment.closeGate != nullptr && environment.closeGate->CloseRequested()) {
    reporter.Note("power: closed before an answer; nothing written");
    return RunOutcome::kClosedBeforeWriting;
  }
  if (!goOn) {
    reporter.Note("power: not going on with the battery this weak; nothing written");
    return RunOutcome::kPowerLow;
  }
  reporter.Note("power: going on regardless");
  return RunOutcome::kDone;
}

}  // namespace kestrune
