#include "app/cli/station_ledger.h"

namespace kestrune {

std::string StationLedger::Key(const std::string& serial, const std::string& port,
                               const std::string& location) {
  // The prefixes keep a serial number from ever equalling a port's key.
  if (!serial.empty()) return "serial " + serial;
  return "port " + port + " at " + location;
}

StationDecision StationLedger::Appeared(const std::string& key) {
  const auto known = watches_.find(key);
  if (known != watches_.end()) {
    if (known->second == State::kBeingWritten) return StationDecision::kBeingWritten;
    if (known->second == State::kUpdated && !again_) return StationDecision::kAlreadyUpdated;
  }
  watches_[key] = State::kBeingWritten;
  return StationDecision::kWrite;
}

void StationLedger::Finished(const std::string& key, bool done) {
  watches_[key] = done ? State::kUpdated : State::kFailed;
}

}  // namespace kestrune
