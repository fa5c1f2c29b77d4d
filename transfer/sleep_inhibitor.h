#pragma once
// Keeps the computer awake while the watch is being written: a system that
// suspends half-way through a block leaves the watch with a torn image. On
// Linux the same lock also holds off a power-off or reboot and the lid
// switch's suspend.

namespace kestrune {

// Holds a sleep block for its lifetime. Where the platform offers no way to
// block sleep (no logind on the system bus, for instance) the object is
// inert and says so through Held(); it never fails the caller.
class SleepInhibitor {
 public:
  // `why` is shown by the platform to a user who asks what blocks sleep.
  explicit SleepInhibitor(const char* why);
  ~SleepInhibitor();
  SleepInhibitor(const SleepInhibitor&) = delete;
  SleepInhibitor& operator=(const SleepInhibitor&) = delete;

  // True while the platform really blocks sleep on our behalf.
  bool Held() const { return held_; }

 private:
  bool held_ = false;
  // The platform's token: the inhibitor fd from logind on Linux, the
  // previous execution state on Windows.
  long long token_ = -1;
};

}  // namespace kestrune
