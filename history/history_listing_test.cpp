// The history as a desk's system reads it: CSV with a header and quoted
// fields, JSON lines with the images as an array, and the --since dates.
#include "history/history_listing.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <sstream>

namespace kestrune {
namespace {

HistoryRow Row() {
  HistoryRow row;
  row.startUtc = "2026-12-11T07:30:00.000Z";
  row.endUtc = "2026-12-11T07:30:16.400Z";
  row.program = "kestrune-update";
  row.programVersion = "1.0.0.1";
  row.host = "desk, \"north\"";
  row.serial = "KW-0001";
  row.port = "/dev/ttyACM0";
  row.location = "1-1.4";
  row.firmwareVersion = "2.418";
  row.images = {{8192, std::string(64, 'a')}, {5000, std::string(64, 'b')}};
  row.reason = "done";
  row.blocksWritten = 4;
  row.readBack = "all blocks match";
  row.logTag = "[watch KW-0001]";
  return row;
}

TEST(HistoryListing, CsvHasAHeaderAndQuotesFieldsThatNeedIt) {
  const std::string csv = FormatHistory({Row()}, HistoryFormat::kCsv);
  std::istringstream lines(csv);
  std::string header, line, rest;
  std::getline(lines, header);
  std::getline(lines, line);
  EXPECT_FALSE(std::getline(lines, rest));
  EXPECT_EQ(header.rfind("start_utc,end_utc,program,", 0), 0u);
  EXPECT_NE(line.find(",\"desk, \"\"north\"\"\",KW-0001,"), std::string::npos) << line;
  EXPECT_NE(line.find(",8192:" + std::string(64, 'a') + ";5000:"), std::string::npos) << line;
  EXPECT_NE(line.find(",done,4,all blocks match,"), std::string::npos) << line;
}

TEST(HistoryListing, JsonLinesCarryEveryFieldAndTheImages) {
  const std::string json = FormatHistory({Row(), Row()}, HistoryFormat::kJsonLines);
  std::istringstream lines(json);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    Json::Value value;
    Json::CharReaderBuilder builder;
    std::string errors;
    std::istringstream in(line);
    ASSERT_TRUE(Json::parseFromStream(builder, in, &value, &errors)) << errors;
    EXPECT_EQ(value["serial"].asString(), "KW-0001");
    EXPECT_EQ(value["host"].asString(), "desk, \"north\"");
    EXPECT_EQ(value["blocks_written"].asUInt(), 4u);
    ASSERT_EQ(value["images"].size(), 2u);
    EXPECT_EQ(value["images"][1]["size"].asUInt(), 5000u);
    EXPECT_EQ(value["images"][1]["sha256"].asString(), std::string(64, 'b'));
  }
  EXPECT_EQ(count, 2);
}

TEST(HistoryListing, SinceDates) {
  const struct {
    const char* given;
    const char* utc;  // nullptr: refused
  } cases[] = {
      {"2026-12-11", "2026-12-11"},
      {"2026-12-11T07:30", "2026-12-11T07:30"},
      {"2026-12-11 07:30:15", "2026-12-11T07:30:15"},
      {"2026-12-11T07:30:15Z", "2026-12-11T07:30:15"},
      {"2026-12-1", nullptr},
      {"yesterday", nullptr},
      {"2026-12-11T7:30", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    std::string utc;
    EXPECT_EQ(ParseSinceDate(c.given, utc), c.utc != nullptr) << c.given;
    if (c.utc != nullptr) {
      EXPECT_EQ(utc, c.utc) << c.given;
    }
  }
}

}  // namespace
}  // namespace kestrune
