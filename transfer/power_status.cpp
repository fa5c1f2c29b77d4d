#include "transfer/power_status.h"

namespace kestrune {

PowerStatus PowerStatusFromSystemPowerStatus(unsigned acLineStatus, unsigned batteryFlag,
                                             unsigned batteryLifePercent,
                                             unsigned long batteryLifeTime) {
  constexpr unsigned kNoSystemBattery = 128;
  constexpr unsigned long kUnknownLifeTime = 0xFFFFFFFFul;
  PowerStatus status;
  if (acLineStatus == 1) {
    status.known = true;  // on the charger, whatever the battery
    return status;
  }
  // Off the charger without a battery, or not known at all, cannot be judged.
  if (acLineStatus != 0 || (batteryFlag & kNoSystemBattery) != 0) {  // 255 has it too
    return status;
  }
  status.known = true;
  status.onBattery = true;
  if (batteryLifePercent <= 100) status.percent = batteryLifePercent;
  if (batteryLifeTime != kUnknownLifeTime) {
    status.timeLeft = std::chrono::seconds(static_cast<long long>(batteryLifeTime));
  }
  return status;
}

}  // namespace kestrune
