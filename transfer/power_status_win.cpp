// Windows: GetSystemPowerStatus (kernel32). Under Wine it reports whatever
// Wine makes of the host, usually a machine without a battery.
#include "transfer/power_status.h"

#include <windows.h>

namespace kestrune {

PowerStatus ReadPowerStatus() {
  SYSTEM_POWER_STATUS power{};
  if (!GetSystemPowerStatus(&power)) return {};
  return PowerStatusFromSystemPowerStatus(power.ACLineStatus, power.BatteryFlag,
                                          power.BatteryLifePercent, power.BatteryLifeTime);
}

}  // namespace kestrune
