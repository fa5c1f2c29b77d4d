#include "tools/dive_watch_sim/line_schedule.h"

namespace kestrune {

std::chrono::nanoseconds LineSchedule::Duration(std::uint64_t count) const {
  constexpr std::uint64_t kBitsPerByte = 10;  // start bit, 8 data bits, stop bit
  return std::chrono::nanoseconds(count * kBitsPerByte * 1'000'000'000ull / baud_);
}

LineSchedule::Clock::time_point LineSchedule::Carry(Clock::time_point handedOver,
                                                    std::size_t count) {
  if (handedOver >= idleAt_) {
    busySince_ = handedOver;
    bytesSinceBusy_ = 0;
  }
  bytesSinceBusy_ += count;
  idleAt_ = busySince_ + std::chrono::duration_cast<Clock::duration>(Duration(bytesSinceBusy_));
  return idleAt_;
}

}  // namespace kestrune
