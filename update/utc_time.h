#pragma once
// A moment as ISO 8601 in UTC, to the millisecond
// ("2026-12-11T10:24:19.123Z"): the time a JSON event carries, and the
// start and end of a run the history keeps.

#include <chrono>
#include <string>

namespace kestrune {

std::string IsoUtcTime(std::chrono::system_clock::time_point when);

}  // namespace kestrune
