#include "app/cli/station_ledger.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrune {
namespace {

// One thing that happens to a watch in a station session, and what the
// station decides when it is an appearance.
struct Step {
  enum { kAppears, kEndsDone, kEndsFailed } what;
  std::string key;
  StationDecision expected = StationDecision::kWrite;
};

struct Session {
  const char* name;
  bool again;
  std::vector<Step> steps;
};

TEST(StationLedger, WritesAWatchOnceUnlessItFailedOrAgainIsGiven) {
  const std::string a = StationLedger::Key("KW-1", "/dev/ttyACM0", "1-1");
  const std::string b = StationLedger::Key("KW-2", "/dev/ttyACM1", "1-2");
  using D = StationDecision;
  const Session sessions[] = {
      {"updated, re-enumerates after its finish frame",
       false,
       {{Step::kAppears, a, D::kWrite},
        {Step::kEndsDone, a},
        {Step::kAppears, a, D::kAlreadyUpdated},
        {Step::kAppears, a, D::kAlreadyUpdated}}},
      {"seen again while still being written",
       false,
       {{Step::kAppears, a, D::kWrite}, {Step::kAppears, a, D::kBeingWritten}}},
      {"failed, plugged in again: written again",
       false,
       {{Step::kAppears, a, D::kWrite},
        {Step::kEndsFailed, a},
        {Step::kAppears, a, D::kWrite},
        {Step::kEndsDone, a},
        {Step::kAppears, a, D::kAlreadyUpdated}}},
      {"--again writes an updated watch again",
       true,
       {{Step::kAppears, a, D::kWrite},
        {Step::kEndsDone, a},
        {Step::kAppears, a, D::kWrite},
        {Step::kAppears, a, D::kBeingWritten}}},
      {"another watch is not held up by the first",
       false,
       {{Step::kAppears, a, D::kWrite},
        {Step::kEndsDone, a},
        {Step::kAppears, b, D::kWrite},
        {Step::kAppears, a, D::kAlreadyUpdated}}},
  };
  for (const Session& session : sessions) {
    StationLedger ledger(session.again);
    int index = 0;
    for (const Step& step : session.steps) {
      ++index;
      if (step.what == Step::kAppears) {
        EXPECT_EQ(ledger.Appeared(step.key), step.expected) << session.name << ", step " << index;
      } else {
        ledger.Finished(step.key, step.what == Step::kEndsDone);
      }
    }
  }
}

TEST(StationLedger, AWatchIsKnownBySerialNumberElseByPortAndPlace) {
  // The same serial number is the same watch wherever it is plugged in.
  EXPECT_EQ(StationLedger::Key("KW-1", "/dev/ttyACM0", "1-1"),
            StationLedger::Key("KW-1", "/dev/ttyACM3", "1-4"));
  // Without one, the port and where it is plugged in tell watches apart.
  EXPECT_NE(StationLedger::Key("", "/dev/ttyACM0", "1-1"),
            StationLedger::Key("", "/dev/ttyACM0", "1-2"));
  EXPECT_NE(StationLedger::Key("", "/dev/ttyACM0", "1-1"),
            StationLedger::Key("", "/dev/ttyACM1", "1-1"));
  // A serial number never reads as a port's key.
  EXPECT_NE(StationLedger::Key("port /dev/ttyACM0 at 1-1", "x", "y"),
            StationLedger::Key("", "/dev/ttyACM0", "1-1"));
}

}  // namespace
}  // namespace kestrune
