// When bytes cross a UART line: 8N1 framing, so each byte takes 10 bit
// times, and the line carries one byte at a time, so bytes handed over while
// it is busy wait behind the ones already crossing.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace kestrune {

class LineSchedule {
 public:
  using Clock = std::chrono::steady_clock;

  // `baud` must be above 0.
  explicit LineSchedule(std::uint32_t baud) : baud_(baud) {}

  // Hands `count` bytes to the line at `handedOver`; returns when the last
  // of them has fully crossed. Times are computed from the start of the
  // line's busy spell, so rounding never accumulates over a long transfer.
  Clock::time_point Carry(Clock::time_point handedOver, std::size_t count);

  // The time `count` bytes take on the line.
  std::chrono::nanoseconds Duration(std::uint64_t count) const;

 private:
  std::uint32_t baud_;
  Clock::time_point busySince_{};
  std::uint64_t bytesSinceBusy_ = 0;
  Clock::time_point idleAt_{};
};

}  // namespace kestrune
