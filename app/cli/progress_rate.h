#pragma once
// How fast a watch is being written and how long the rest will take,
// measured from the start of its first block: the first block's own time
// counts, so the rate is not one block too high early on.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace kestrune {

// The rate of firmware bytes and the whole seconds left (rounded).
struct RateEstimate {
  double bytesPerSecond = 0;
  std::uint32_t secondsLeft = 0;
};

class ProgressRate {
 public:
  using Clock = std::chrono::steady_clock;
  // `now` tells the time; the steady clock unless a test sets its own.
  explicit ProgressRate(std::function<Clock::time_point()> now = Clock::now);

  // The first block starts now, or at `at` (when the status that says so
  // was reported). Later calls (the next image's) change nothing.
  void WritingBegins();
  void WritingBegins(Clock::time_point at);

  // With `done` of `total` blocks written by now: nothing until writing
  // has begun, a block is written and time has passed.
  std::optional<RateEstimate> At(std::uint32_t done, std::uint32_t total) const;

 private:
  std::function<Clock::time_point()> now_;
  std::optional<Clock::time_point> firstBlockStart_;
};

}  // namespace kestrune
