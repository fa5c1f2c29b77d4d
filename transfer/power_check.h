#pragma once
// The power check before the first block: the writing's time estimated from
// the line's speed, the battery judged against it, and a front-end asked
// whether to go on when the battery looks too weak for it.

#include <chrono>
#include <cstdint>
#include <string>

#include "i18n/translate.h"
#include "transfer/firmware_update.h"
#include "transfer/power_status.h"
#include "transfer/run_outcome.h"
#include "transfer/update_environment.h"

namespace kestrune {

// Below this charge a battery is too low for any write.
inline constexpr double kLowestBatteryPercent = 25.0;

// The line's time for `blocks` blocks at the watch's 9600 baud, 8N1 (960
// bytes a second): per block 128 data frames and a commit frame out and an
// answer frame back, 40 bytes each; a read-back pass takes as long again.
std::chrono::milliseconds EstimatedWritingTime(std::uint32_t blocks, bool readBack);

enum class PowerVerdict {
  kGoOn,               // on the charger, a battery strong enough, or nothing known
  kBatteryLow,         // on battery below kLowestBatteryPercent
  kTooLittleTimeLeft,  // on battery with less time left than twice the writing
};

PowerVerdict JudgePower(const PowerStatus& status, std::chrono::milliseconds writing);

// Why the battery looks too weak, for the front-end that asks or refuses.
struct PowerShortage {
  PowerStatus status;
  std::uint32_t blocks;
  std::chrono::milliseconds writing;
  PowerVerdict verdict;
};

// What the command line tells the user who is refused.
inline constexpr char kConnectChargerAdvice[] = N_("connect the charger");

// "on battery, 18 %, 12:00 left; the writing takes about 4:53 (54 blocks):
// battery below 25 %": the facts in English, for the run log and the
// command line.
std::string DescribePowerShortage(const PowerShortage& shortage);

// "m:ss" (or "h:mm:ss") of a duration, rounded up to the second.
std::string ClockText(std::chrono::milliseconds duration);

// The run's step just before its first block, when the environment has a
// question for a weak battery (a run without one is not checked): the
// writing of `blocks` blocks estimated, the power read, judged and noted.
// kDone to go on (on the charger, nothing known, a strong battery, or the
// question answered yes); kPowerLow when it was answered no;
// kClosedBeforeWriting when the front-end closed meanwhile.
RunOutcome CheckPowerBeforeWriting(FirmwareUpdateReporter& reporter,
                                   const UpdateEnvironment& environment, std::uint32_t blocks);

}  // namespace kestrune
