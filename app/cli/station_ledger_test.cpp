#include "app/cli/station_ledger.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrune {
namespace {

using Clock = StationLedger::Clock;
using R = RunOutcome;

// "write 0 plugged in again", "abandon 0", "notice 1 already updated ...".
std::string Describe(const StationStep& step) {
  static const char* const kKinds[] = {"write", "abandon", "notice"};
  return std::string(kKinds[step.kind]) + " " + std::to_string(step.watch) +
         (step.text.empty() ? "" : " " + step.text);
}

// One thing that happens in a session at second `at`: the tree is looked
// at (with the steps expected, each the start of what the ledger says), or
// a run of watch `watch` begins or ends (with the retry it schedules, as
// "retry N after S s", or "").
struct Event {
  enum { kLook, kStart, kEnd } what;
  int at = 0;
  std::vector<SeenWatch> listing = {};
  std::vector<std::string> expected = {};
  std::size_t watch = 0;
  RunOutcome outcome = R::kDone;
  std::string retry = {};
};
Event Look(int at, std::vector<SeenWatch> listing, std::vector<std::string> expected) {
  return {Event::kLook, at, std::move(listing), std::move(expected)};
}
Event Start(std::size_t watch) { return {Event::kStart, 0, {}, {}, watch}; }
Event End(int at, std::size_t watch, RunOutcome outcome, std::string retry = {}) {
  return {Event::kEnd, at, {}, {}, watch, outcome, std::move(retry)};
}

struct Session {
  const char* name;
  bool again;
  std::vector<Event> events;
  // Each watch written: "serial port reason tries".
  std::vector<std::string> results;
};

const SeenWatch kA{"KW-1", "/dev/ttyACM0", "1-1"};
const SeenWatch kAElsewhere{"KW-1", "/dev/ttyACM3", "1-4"};
const SeenWatch kB{"KW-2", "/dev/ttyACM1", "1-2"};
const SeenWatch kNoSerial{"", "/dev/ttyACM0", "1-1"};

TEST(StationLedger, DecidesEachLookAndEachRunEndAsADeskExpects) {
  const Session sessions[] = {
      {"updated, comes back (also in another socket): not written again",
       false,
       {Look(0, {kA}, {"write 0"}), Start(0), End(5, 0, R::kDone), Look(6, {kA}, {}),
        Look(7, {}, {}), Look(8, {kAElsewhere}, {"notice 0 already updated in this session"}),
        Look(9, {kAElsewhere}, {})},
       {"KW-1 /dev/ttyACM3 done 1"}},
      {"--again writes an updated watch again when it comes back",
       true,
       {Look(0, {kA}, {"write 0"}), Start(0), End(5, 0, R::kDone), Look(6, {}, {}),
        Look(7, {kA}, {"write 0 updated before; written again"})},
       {"KW-1 /dev/ttyACM0 done 1"}},
      {"port busy at plug-in: tried again after a growing back-off while it stays",
       false,
       {Look(0, {kA}, {"write 0"}), Start(0), End(0, 0, R::kPortUnavailable, "retry 2 after 2 s"),
        Look(1, {kA}, {}), Look(2, {kA}, {"write 0 port unavailable before; try 2 of 5"}), Start(0),
        End(2, 0, R::kPortUnavailable, "retry 3 after 4 s"), Look(5, {kA}, {}),
        Look(6, {kA}, {"write 0 port unavailable before; try 3 of 5"}), Start(0),
        End(9, 0, R::kDone), Look(10, {kA}, {})},
       {"KW-1 /dev/ttyACM0 done 3"}},
      {"port busy for good: a bounded number of tries, then only a new plug-in",
       false,
       {Look(0, {kA}, {"write 0"}), Start(0), End(0, 0, R::kPortUnavailable, "retry 2 after 2 s"),
        Look(2, {kA}, {"write 0 port unavailable before; try 2"}), Start(0),
        End(2, 0, R::kPortUnavailable, "retry 3 after 4 s"),
        Look(6, {kA}, {"write 0 port unavailable before; try 3"}), Start(0),
        End(6, 0, R::kPortUnavailable, "retry 4 after 8 s"),
        Look(14, {kA}, {"write 0 port unavailable before; try 4"}), Start(0),
        End(14, 0, R::kPortUnavailable, "retry 5 after 16 s"),
        Look(30, {kA}, {"write 0 port unavailable before; try 5 of 5"}), Start(0),
        End(30, 0, R::kPortUnavailable), Look(100, {kA}, {}), Look(101, {}, {}),
        Look(102, {kA}, {"write 0 plugged in again"})},
       {"KW-1 /dev/ttyACM0 port_unavailable 5"}},
      {"a retry waiting when the watch is pulled out is dropped",
       false,
       {Look(0, {kA}, {"write 0"}), Start(0), End(0, 0, R::kPortUnavailable, "retry 2 after 2 s"),
        Look(1, {}, {}), Look(10, {}, {})},
       {"KW-1 /dev/ttyACM0 port_unavailable 1"}},
      {"refused, left plugged in: written again only when plugged in again",
       false,
       {Look(0, {kA, kB}, {"write 0", "write 1"}), Start(0), Start(1), End(3, 0, R::kBlockRefused),
        End(4, 1, R::kDone), Look(5, {kA, kB}, {}), Look(6, {kB}, {}),
        Look(7, {kA, kB}, {"write 0 plugged in again"}), Start(0), End(9, 0, R::kDone)},
       {"KW-1 /dev/ttyACM0 done 2", "KW-2 /dev/ttyACM1 done 1"}},
      {"silent, pulled out and plugged back before its run timed out",
       false,
       {Look(0, {kA}, {"write 0"}), Start(0),
        Look(2, {}, {"abandon 0", "notice 0 left while being written"}),
        Look(3, {kAElsewhere}, {"abandon 0", "notice 0 plugged in again while its run still went"}),
        End(3, 0, R::kLinkFailed), Look(4, {kAElsewhere}, {"write 0 plugged in again"}), Start(0),
        End(8, 0, R::kDone)},
       {"KW-1 /dev/ttyACM3 done 2"}},
      {"plugged into another socket between two looks while its run waits",
       false,
       {Look(0, {kA}, {"write 0"}), Start(0), Look(2, {kAElsewhere}, {"abandon 0", "notice 0"}),
        Look(3, {kAElsewhere}, {}), End(4, 0, R::kWatchSilent),
        Look(5, {kAElsewhere}, {"write 0 plugged in again"})},
       {"KW-1 /dev/ttyACM3 watch_silent 1"}},
      {"pulled out mid-write for good: its run ends, nothing more",
       false,
       {Look(0, {kA}, {"write 0"}), Start(0), Look(2, {}, {"abandon 0", "notice 0 left"}),
        End(2, 0, R::kLinkFailed), Look(3, {}, {})},
       {"KW-1 /dev/ttyACM0 link_failed 1"}},
      {"without a serial number: never written twice while it stays, written on each plug-in",
       false,
       {Look(0, {kNoSerial}, {"write 0"}), Start(0), End(4, 0, R::kDone), Look(5, {kNoSerial}, {}),
        Look(6, {}, {}),
        Look(7, {kNoSerial},
             {"notice 1 no serial number: it cannot be told from the watch written here before",
              "write 1"}),
        Start(1), End(9, 1, R::kDone), Look(10, {kNoSerial}, {})},
       {" /dev/ttyACM0 done 1", " /dev/ttyACM0 done 1"}},
      {"an interrupt that keeps a retry from writing leaves the watch's last end",
       false,
       {Look(0, {kA}, {"write 0"}), Start(0), End(0, 0, R::kPortUnavailable, "retry 2 after 2 s"),
        Look(2, {kA}, {"write 0"}), Start(0), End(2, 0, R::kClosedBeforeWriting)},
       {"KW-1 /dev/ttyACM0 port_unavailable 2"}},
  };
  for (const Session& session : sessions) {
    StationLedger ledger(session.again);
    const Clock::time_point start{};
    int index = 0;
    for (const Event& event : session.events) {
      ++index;
      const Clock::time_point now = start + std::chrono::seconds(event.at);
      const std::string where = std::string(session.name) + ", event " + std::to_string(index);
      if (event.what == Event::kLook) {
        const std::vector<StationStep> steps = ledger.Look(event.listing, now);
        std::vector<std::string> said;
        for (const StationStep& step : steps) said.push_back(Describe(step));
        bool matches = said.size() == event.expected.size();
        for (std::size_t i = 0; matches && i < said.size(); ++i) {
          matches = said[i].compare(0, event.expected[i].size(), event.expected[i]) == 0;
        }
        EXPECT_TRUE(matches) << where << ": " << ::testing::PrintToString(said);
      } else if (event.what == Event::kStart) {
        ledger.Started(event.watch);
      } else {
        const StationRetry retry = ledger.Finished(event.watch, event.outcome, 1.0, now);
        EXPECT_EQ(retry.scheduled ? "retry " + std::to_string(retry.attempt) + " after " +
                                        std::to_string(retry.after.count()) + " s"
                                  : "",
                  event.retry)
            << where;
      }
    }
    std::vector<std::string> results;
    for (const WatchOutcome& result : ledger.Results()) {
      results.push_back(result.serial + " " + result.port + " " + RunOutcomeReason(result.outcome) +
                        " " + std::to_string(result.tries));
    }
    EXPECT_EQ(results, session.results) << session.name;
  }
}

// The live count line: each watch once, by its state now. A watch that
// failed and is being written again is not also counted failed; written
// whole the second time, it counts as done, as the summary says.
TEST(StationLedger, CountsEachWatchByItsLastRun) {
  const auto tally = [](const StationLedger& ledger) {
    const StationTally t = ledger.Tally();
    return std::to_string(t.writing) + " writing, " + std::to_string(t.done) + " done, " +
           std::to_string(t.failed) + " failed";
  };
  StationLedger ledger(false);
  const Clock::time_point t0{};
  ledger.Look({kA, kB}, t0);
  ledger.Started(0);
  ledger.Started(1);
  EXPECT_EQ(tally(ledger), "2 writing, 0 done, 0 failed");
  ledger.Finished(0, R::kLinkFailed, 1, t0);
  ledger.Finished(1, R::kDone, 1, t0);
  EXPECT_EQ(tally(ledger), "0 writing, 1 done, 1 failed");
  ledger.Look({kB}, t0 + std::chrono::seconds(2));
  ledger.Look({kA, kB}, t0 + std::chrono::seconds(3));
  ledger.Started(0);
  EXPECT_EQ(tally(ledger), "1 writing, 1 done, 0 failed");
  ledger.Finished(0, R::kDone, 1, t0 + std::chrono::seconds(4));
  EXPECT_EQ(tally(ledger), "0 writing, 2 done, 0 failed");
}

}  // namespace
}  // namespace kestrune
