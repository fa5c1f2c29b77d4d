// Linux: UPower on the system bus. The manager's OnBattery says whether
// the charger is out; its display device (the batteries taken together)
// gives the charge and the time to empty. No system bus, no UPower, or a
// display device that is no battery: nothing is known.
#include "transfer/power_status.h"

#include <systemd/sd-bus.h>

#include <cstdint>

namespace kestrune {
namespace {

constexpr char kUPower[] = "org.freedesktop.UPower";
constexpr char kManagerPath[] = "/org/freedesktop/UPower";
constexpr char kDisplayDevicePath[] = "/org/freedesktop/UPower/devices/DisplayDevice";
constexpr char kDeviceInterface[] = "org.freedesktop.UPower.Device";
// A bus that does not answer must not hold up the first block for long.
constexpr std::uint64_t kAnswerWaitUsec = 2 * 1000 * 1000;

// UPower's device kinds and states (up-types.h).
constexpr std::uint32_t kKindBattery = 2;
constexpr std::uint32_t kStateDischarging = 2;
constexpr std::uint32_t kStateEmpty = 3;
constexpr std::uint32_t kStatePendingDischarge = 6;

// One property; false when the bus or UPower did not give it.
template <class Value>
bool ReadProperty(sd_bus* bus, const char* path, const char* interface, const char* name, char type,
                  Value& value) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  sd_bus_message* call = nullptr;
  bool read = false;
  const char signature[2] = {type, '\0'};
  if (sd_bus_message_new_method_call(bus, &call, kUPower, path, "org.freedesktop.DBus.Properties",
                                     "Get") >= 0 &&
      sd_bus_message_append(call, "ss", interface, name) >= 0 &&
      sd_bus_call(bus, call, kAnswerWaitUsec, &error, &reply) >= 0 &&
      sd_bus_message_enter_container(reply, 'v', signature) >= 0 &&
      sd_bus_message_read_basic(reply, type, &value) >= 0) {
    read = true;
  }
  sd_bus_message_unref(reply);
  sd_bus_message_unref(call);
  sd_bus_error_free(&error);
  return read;
}

PowerStatus AskUPower(sd_bus* bus) {
  PowerStatus status;
  int onBattery = 0;
  if (!ReadProperty(bus, kManagerPath, kUPower, "OnBattery", 'b', onBattery)) return status;
  std::uint32_t kind = 0, state = 0;
  int present = 0;
  double percent = 0;
  std::int64_t timeToEmpty = 0;
  const bool battery =
      ReadProperty(bus, kDisplayDevicePath, kDeviceInterface, "Type", 'u', kind) &&
      ReadProperty(bus, kDisplayDevicePath, kDeviceInterface, "IsPresent", 'b', present) &&
      kind == kKindBattery && present;
  if (!battery) {
    // A desktop: UPower runs but there is no battery to judge.
    if (!onBattery) status.known = true;  // on mains, which is all that matters
    return status;
  }
  status.known = true;
  const bool discharging =
      ReadProperty(bus, kDisplayDevicePath, kDeviceInterface, "State", 'u', state) &&
      (state == kStateDischarging || state == kStateEmpty || state == kStatePendingDischarge);
  status.onBattery = onBattery || discharging;
  if (ReadProperty(bus, kDisplayDevicePath, kDeviceInterface, "Percentage", 'd', percent) &&
      percent >= 0 && percent <= 100) {
    status.percent = percent;
  }
  // UPower says 0 while it has no estimate yet.
  if (ReadProperty(bus, kDisplayDevicePath, kDeviceInterface, "TimeToEmpty", 'x', timeToEmpty) &&
      timeToEmpty > 0) {
    status.timeLeft = std::chrono::seconds(timeToEmpty);
  }
  return status;
}

}  // namespace

PowerStatus ReadPowerStatus() {
  sd_bus* bus = nullptr;
  if (sd_bus_open_system(&bus) < 0) return {};  // no system bus: nothing known
  const PowerStatus status = AskUPower(bus);
  sd_bus_flush_close_unref(bus);
  return status;
}

}  // namespace kestrune
