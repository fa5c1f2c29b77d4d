// Linux: a "sleep:shutdown:handle-lid-switch" block inhibitor lock from
// logind, so that neither a suspend, a power-off or reboot, nor a laptop lid
// shut during a long update cuts a write off. logind hands back a file
// descriptor; the lock lasts until the last copy of it is closed.
#include "transfer/sleep_inhibitor.h"

#include <systemd/sd-bus.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>

namespace kestrune {
namespace {

constexpr uint64_t kAnswerWaitUsec = 2 * 1000 * 1000;
// All that logind lets a user's program block: suspend and hibernation,
// power-off and reboot, and the lid switch's own action (a laptop shut
// during a long update must not suspend it).
constexpr char kWhat[] = "sleep:shutdown:handle-lid-switch";

int TakeLogindLock(const char* why) {
  sd_bus* bus = nullptr;
  if (sd_bus_open_system(&bus) < 0) return -1;  // no system bus: nothing to do
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* call = nullptr;
  sd_bus_message* reply = nullptr;
  int fd = -1;
  // A bus that does not answer must not hold up the first block for long.
  if (sd_bus_message_new_method_call(bus, &call, "org.freedesktop.login1",
                                     "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                     "Inhibit") >= 0 &&
      sd_bus_message_append(call, "ssss", kWhat, "orvel kestrune", why, "block") >= 0 &&
      sd_bus_call(bus, call, kAnswerWaitUsec, &error, &reply) >= 0) {
    int lent = -1;
    // The reply owns its fd; keep a copy of our own past the reply's life.
    if (sd_bus_message_read(reply, "h", &lent) >= 0 && lent >= 0) {
      fd = fcntl(lent, F_DUPFD_CLOEXEC, 3);
    }
  }
  sd_bus_message_unref(reply);
  sd_bus_message_unref(call);
  sd_bus_error_free(&error);
  sd_bus_flush_close_unref(bus);
  return fd;
}

}  // namespace

SleepInhibitor::SleepInhibitor(const char* why) {
  const int fd = TakeLogindLock(why);
  if (fd >= 0) {
    held_ = true;
    token_ = fd;
  }
}

SleepInhibitor::~SleepInhibitor() {
  if (held_) close(static_cast<int>(token_));
}

}  // namespace kestrune
