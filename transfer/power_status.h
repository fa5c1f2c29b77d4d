#pragma once
// What the computer's power supply says, read just before a long write: a
// laptop whose battery runs out half-way through leaves the watch with a
// torn image.

#include <chrono>
#include <optional>

namespace kestrune {

struct PowerStatus {
  // False when the system said nothing usable (a desktop without a battery,
  // no UPower, Wine): the write then goes on.
  bool known = false;
  // Running from the battery, not from a charger.
  bool onBattery = false;
  // The battery's charge, 0 to 100, when the system gives it.
  std::optional<double> percent;
  // The time until the battery is empty, when the system estimates it.
  std::optional<std::chrono::seconds> timeLeft;
};

// This platform's: UPower's display device and OnBattery on the system
// bus on Linux, GetSystemPowerStatus on Windows. Never fails and never
// holds the caller long: nothing is known when the system cannot say.
PowerStatus ReadPowerStatus();

// GetSystemPowerStatus's answer as a PowerStatus: `acLineStatus` 0 off the
// charger, 1 on it, 255 unknown; `batteryFlag` 128 no battery, 255
// unknown; `batteryLifePercent` 0 to 100, 255 unknown; `batteryLifeTime`
// seconds, 0xFFFFFFFF unknown. Portable so that every answer can be tested.
PowerStatus PowerStatusFromSystemPowerStatus(unsigned acLineStatus, unsigned batteryFlag,
                                             unsigned batteryLifePercent,
                                             unsigned long batteryLifeTime);

}  // namespace kestrune
