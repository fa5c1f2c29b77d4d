#pragma once
// The time a JSON event carries: when the thing it reports happened, in
// UTC, to the millisecond ("2026-12-11T10:24:19.123Z").

#include <chrono>
#include <string>

namespace kestrune {

std::string UtcEventTime(std::chrono::system_clock::time_point when);

}  // namespace kestrune
