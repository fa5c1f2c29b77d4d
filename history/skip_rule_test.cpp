// When a watch is left unwritten: only when its last run here wrote this
// very firmware, and it has a serial number, and --again was not given.
#include "history/skip_rule.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

const std::vector<ImageDigest> kOffered = {{8192, std::string(64, 'a')},
                                           {5000, std::string(64, 'b')}};

HistoryRow LastRun(const std::string& version, const std::string& reason,
                   std::vector<ImageDigest> images = kOffered) {
  HistoryRow row;
  row.serial = "KW-0001";
  row.endUtc = "2026-12-10T16:45:09.812Z";
  row.firmwareVersion = version;
  row.images = std::move(images);
  row.reason = reason;
  return row;
}

struct SkipCase {
  const char* name;
  std::string serial;
  std::optional<HistoryRow> lastRun;
  bool again;
  bool skip;
  const char* whyContains;
};

TEST(SkipRule, TableOfWatches) {
  const SkipCase cases[] = {
      {"same version done", "KW-0001", LastRun("2.418", "done"), false, true, "2.418"},
      {"other version done", "KW-0001", LastRun("2.417", "done"), false, false, "2.417"},
      {"same version, last run failed", "KW-0001", LastRun("2.418", "block_refused"), false, false,
       "block_refused"},
      {"same version, other digests", "KW-0001",
       LastRun("2.418", "done", {{8192, std::string(64, 'a')}, {5000, std::string(64, 'c')}}),
       false, false, "other images"},
      {"same version, an image fewer", "KW-0001",
       LastRun("2.418", "done", {{8192, std::string(64, 'a')}}), false, false, "other images"},
      {"no serial number", "", LastRun("2.418", "done"), false, false, "no serial"},
      {"--again", "KW-0001", LastRun("2.418", "done"), true, false, "--again"},
      {"never seen", "KW-0001", std::nullopt, false, false, "no earlier run"},
  };
  for (const SkipCase& c : cases) {
    const SkipDecision decision = DecideSkip(c.serial, c.lastRun, "2.418", kOffered, c.again);
    EXPECT_EQ(decision.skip, c.skip) << c.name;
    EXPECT_NE(decision.why.find(c.whyContains), std::string::npos)
        << c.name << ": " << decision.why;
    EXPECT_EQ(decision.lastRun.has_value(), c.skip) << c.name;
  }
}

TEST(SkipRule, TheDeskIsToldTheVersionAndWhenItWasWritten) {
  EXPECT_EQ(AlreadyCurrentText(LastRun("2.418", "done")),
            "already has 2.418 (2026-12-10 16:45 UTC)");
}

}  // namespace
}  // namespace kestrune
