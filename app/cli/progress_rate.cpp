#include "app/cli/progress_rate.h"

#include <utility>

#include "transfer/device_frame.h"

namespace kestrune {

ProgressRate::ProgressRate(std::function<Clock::time_point()> now) : now_(std::move(now)) {}

void ProgressRate::WritingBegins() { WritingBegins(now_()); }

void ProgressRate::WritingBegins(Clock::time_point at) {
  if (!firstBlockStart_) firstBlockStart_ = at;
}

std::optional<RateEstimate> ProgressRate::At(std::uint32_t done, std::uint32_t total) const {
  if (!firstBlockStart_ || done == 0) return std::nullopt;
  const double seconds = std::chrono::duration<double>(now_() - *firstBlockStart_).count();
  if (seconds <= 0) return std::nullopt;
  RateEstimate estimate;
  estimate.bytesPerSecond = static_cast<double>(done) * kBlockSize / seconds;
  const double left = total > done ? seconds / done * (total - done) : 0.0;
  estimate.secondsLeft = static_cast<std::uint32_t>(left + 0.5);
  return estimate;
}

}  // namespace kestrune
