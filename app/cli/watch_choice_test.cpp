#include "app/cli/watch_choice.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

const std::vector<WatchToWrite> kThree = {{"KW-0001", "/dev/ttyACM0", "1-1"},
                                          {"KW-0002", "/dev/ttyACM1", "1-2"},
                                          {"", "/dev/ttyACM2", "1-3"}};

WatchChoice Choose(const std::vector<std::string>& arguments,
                   const std::vector<WatchToWrite>& connected) {
  CliOptions options;
  std::string error;
  EXPECT_TRUE(ParseCliOptions(arguments, options, error)) << error;
  // Only /dev paths exist here.
  return ChooseWatches(options, connected,
                       [](const std::string& port) { return port.rfind("/dev/", 0) == 0; });
}

std::vector<std::string> Serials(const WatchChoice& choice) {
  std::vector<std::string> serials;
  for (const WatchToWrite& watch : choice.watches) serials.push_back(watch.serial);
  return serials;
}

TEST(WatchChoice, WhatAnUpdateWrites) {
  const struct {
    const char* name;
    std::vector<std::string> arguments;
    std::vector<WatchToWrite> connected;
    WatchChoice::Kind kind;
    std::vector<std::string> serials;  // of the watches chosen or listed
    std::string word;
  } cases[] = {
      {"one watch: discovery", {"update"}, {kThree[0]}, WatchChoice::kDiscover, {}, ""},
      {"no watch: discovery says so", {"update"}, {}, WatchChoice::kDiscover, {}, ""},
      {"several and nothing said: listed",
       {"update"},
       kThree,
       WatchChoice::kAmbiguous,
       {"KW-0001", "KW-0002", ""},
       ""},
      {"--all", {"update", "--all"}, kThree, WatchChoice::kEveryWatch, {}, ""},
      {"a port", {"update", "--port", "/dev/ttyACM1"}, kThree, WatchChoice::kPorts, {}, ""},
      {"a port the tree does not list",
       {"update", "--port", "/dev/ttyUSB9"},
       kThree,
       WatchChoice::kPorts,
       {},
       ""},
      {"the second by serial",
       {"update", "--serial", "KW-0002"},
       kThree,
       WatchChoice::kBySerial,
       {"KW-0002"},
       ""},
      {"two by serial, in the order given",
       {"update", "--serial", "KW-0002", "--serial=KW-0001"},
       kThree,
       WatchChoice::kBySerial,
       {"KW-0002", "KW-0001"},
       ""},
      {"a serial not connected",
       {"update", "--serial", "KW-0001", "--serial", "KW-0009"},
       kThree,
       WatchChoice::kSerialNotConnected,
       {},
       "KW-0009"},
      {"a serial given as a port",
       {"update", "--port", "KW-0002"},
       kThree,
       WatchChoice::kSerialGivenAsPort,
       {},
       "KW-0002"},
      {"a port that is no serial and not there: tried, and fails as a port",
       {"update", "--port", "KW-0009"},
       kThree,
       WatchChoice::kPorts,
       {},
       ""},
  };
  for (const auto& c : cases) {
    const WatchChoice choice = Choose(c.arguments, c.connected);
    EXPECT_EQ(choice.kind, c.kind) << c.name;
    EXPECT_EQ(Serials(choice), c.serials) << c.name;
    EXPECT_EQ(choice.word, c.word) << c.name;
  }
}

TEST(WatchChoice, ChosenWatchesKeepTheirPortAndPlace) {
  const WatchChoice choice = Choose({"update", "--serial", "KW-0002"}, kThree);
  ASSERT_EQ(choice.watches.size(), 1u);
  EXPECT_EQ(choice.watches[0].port, "/dev/ttyACM1");
  EXPECT_EQ(choice.watches[0].location, "1-2");
  EXPECT_EQ(ChoiceLine(kThree[2]), "  -  /dev/ttyACM2  1-3");
}

TEST(WatchChoice, AStationWritesOnlyTheSerialsGiven) {
  EXPECT_TRUE(StationWrites({}, "KW-0001"));
  EXPECT_TRUE(StationWrites({}, ""));
  EXPECT_TRUE(StationWrites({"KW-0001", "KW-0003"}, "KW-0003"));
  EXPECT_FALSE(StationWrites({"KW-0001"}, "KW-0002"));
  EXPECT_FALSE(StationWrites({"KW-0001"}, ""));  // one without a serial is no chosen one
}

}  // namespace
}  // namespace kestrune
