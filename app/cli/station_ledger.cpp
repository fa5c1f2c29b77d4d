#include "app/cli/station_ledger.h"

#include "i18n/translate.h"

namespace kestrune {
namespace {

// Two serial-less watches seen on the same port at the same place.
bool SamePlace(const SeenWatch& a, const SeenWatch& b) {
  return a.serial.empty() && b.serial.empty() && a.port == b.port && a.location == b.location;
}

StationStep Step(StationStep::Kind kind, std::size_t watch, const SaidText& text) {
  return {kind, watch, text.english, text.shown};
}

}  // namespace

std::chrono::seconds StationLedger::PortBackOff(int retry) {
  return std::chrono::seconds(2 << (retry - 1));
}

std::size_t StationLedger::Find(const SeenWatch& seen) const {
  for (std::size_t i = 0; i < records_.size(); ++i) {
    const Record& record = records_[i];
    if (!seen.serial.empty()) {
      if (record.seen.serial == seen.serial) return i;
    } else if (!record.closed && SamePlace(record.seen, seen)) {
      return i;
    }
  }
  return records_.size();
}

void StationLedger::Appeared(std::size_t watch, std::vector<StationStep>& steps) {
  Record& record = records_[watch];
  record.present = true;
  record.portTries = 0;
  switch (record.state) {
    case State::kWriting:
      // Its old run may still wait for an answer on a line that is gone.
      record.writeWhenEnded = true;
      steps.push_back({StationStep::kAbandon, watch, {}, {}});
      steps.push_back(Step(StationStep::kNotice, watch,
                           Said("plugged in again while its run still went; that run ends, then "
                                "the watch is written again")));
      return;
    case State::kUpdated:
      if (!again_) {
        steps.push_back(Step(StationStep::kNotice, watch, Said("already updated in this session")));
        return;
      }
      steps.push_back(
          Step(StationStep::kWrite, watch, Said("updated before; written again (--again)")));
      return;
    case State::kRetryWaiting:
    case State::kIdle:
      steps.push_back(Step(StationStep::kWrite, watch,
                           record.tries > 0 ? Said("plugged in again") : SaidText()));
      return;
  }
}

std::vector<StationStep> StationLedger::Look(const std::vector<SeenWatch>& listing,
                                             Clock::time_point now) {
  std::vector<StationStep> steps;
  std::vector<bool> listed(records_.size(), false);
  std::vector<std::size_t> appeared;
  for (const SeenWatch& seen : listing) {
    std::size_t watch = Find(seen);
    if (watch < listed.size() && listed[watch]) continue;  // listed twice: the first counts
    if (watch == records_.size()) {
      // A watch without serial number where one was handled before cannot
      // be told from it: it is written as the new watch it may be.
      bool placeKnown = false;
      for (const Record& record : records_) placeKnown |= SamePlace(record.seen, seen);
      records_.push_back({seen});
      listed.push_back(false);
      if (placeKnown) {
        steps.push_back(Step(StationStep::kNotice, watch,
                             Said("no serial number: it cannot be told from the watch written "
                                  "here before, so it is written as a new one")));
      }
    }
    Record& record = records_[watch];
    listed[watch] = true;
    // Another port for the same serial number is a new plug-in, even when
    // no listing saw it gone.
    const bool plugged = !record.present || record.seen.port != seen.port;
    record.seen = seen;
    if (plugged) appeared.push_back(watch);
  }
  // The watches gone since the last look; a run of one that left ends.
  for (std::size_t watch = 0; watch < records_.size(); ++watch) {
    Record& record = records_[watch];
    if (!record.present || listed[watch]) continue;
    record.present = false;
    if (record.seen.serial.empty()) record.closed = true;
    if (record.state == State::kWriting) {
      steps.push_back({StationStep::kAbandon, watch, {}, {}});
      steps.push_back(
          Step(StationStep::kNotice, watch, Said("left while being written: its line is gone")));
    } else if (record.state == State::kRetryWaiting) {
      record.state = State::kIdle;  // tried again when plugged in again
    }
  }
  for (std::size_t watch : appeared) Appeared(watch, steps);
  // Retries that are due, and writes put off until an old run ended.
  for (std::size_t watch = 0; watch < records_.size(); ++watch) {
    Record& record = records_[watch];
    if (!record.present || record.state == State::kWriting) continue;
    if (record.state == State::kRetryWaiting && now >= record.retryAt) {
      steps.push_back(
          Step(StationStep::kWrite, watch,
               Said("port unavailable before; try {1} of {2}",
                    {std::to_string(record.portTries + 1), std::to_string(kPortTries)})));
      record.state = State::kIdle;
    } else if (record.writeWhenEnded) {
      record.writeWhenEnded = false;
      steps.push_back(Step(StationStep::kWrite, watch, Said("plugged in again")));
    }
  }
  return steps;
}

void StationLedger::Started(std::size_t watch) {
  Record& record = records_.at(watch);
  record.state = State::kWriting;
  ++record.tries;
}

void StationLedger::LeftAsItWas(std::size_t watch) {
  Record& record = records_.at(watch);
  record.state = State::kIdle;
  --record.tries;
}

StationRetry StationLedger::Finished(std::size_t watch, RunOutcome outcome, double seconds,
                                     Clock::time_point now, const RunCause& cause) {
  Record& record = records_.at(watch);
  StationRetry retry;
  // A run an interrupt kept from writing leaves the watch's earlier end.
  if (outcome != RunOutcome::kClosedBeforeWriting || !record.ended) {
    record.last = outcome;
    record.cause = cause;
    record.seconds = seconds;
    record.ended = true;
  }
  record.state = outcome == RunOutcome::kDone ? State::kUpdated : State::kIdle;
  if (outcome == RunOutcome::kPortUnavailable && record.present && !record.writeWhenEnded) {
    ++record.portTries;
    if (record.portTries < kPortTries) {
      record.state = State::kRetryWaiting;
      retry.scheduled = true;
      retry.after = PortBackOff(record.portTries);
      retry.attempt = record.portTries + 1;
      record.retryAt = now + retry.after;
    }
  }
  if (record.writeWhenEnded && !record.present) record.writeWhenEnded = false;
  return retry;
}

bool StationLedger::NextRetry(Clock::time_point& at) const {
  bool any = false;
  for (const Record& record : records_) {
    if (record.present && record.state == State::kRetryWaiting && (!any || record.retryAt < at)) {
      at = record.retryAt;
      any = true;
    }
  }
  return any;
}

StationTally StationLedger::Tally() const {
  StationTally tally;
  for (const Record& record : records_) {
    if (record.tries == 0) continue;
    if (record.state == State::kWriting) {
      ++tally.writing;
    } else if (record.ended && record.last == RunOutcome::kDone) {
      ++tally.done;
    } else {
      ++tally.failed;
    }
  }
  return tally;
}

std::vector<WatchOutcome> StationLedger::Results() const {
  std::vector<WatchOutcome> results;
  for (const Record& record : records_) {
    if (record.tries == 0) continue;
    WatchOutcome result;
    result.serial = record.seen.serial;
    result.port = record.seen.port;
    result.outcome = record.ended ? record.last : RunOutcome::kClosedBeforeWriting;
    result.exitCode = RunOutcomeExitCode(result.outcome);
    result.seconds = record.seconds;
    result.tries = record.tries;
    result.cause = record.cause;
    results.push_back(result);
  }
  return results;
}

}  // namespace kestrune
