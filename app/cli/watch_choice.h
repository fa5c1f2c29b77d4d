#pragma once
// Which watches an update writes, from what the command line says and the
// watches connected now: every one (--all), the ports given, the ones with
// the serial numbers given, or the one discovery finds. With several
// connected and nothing said, none: the choice is the user's.

#include <functional>
#include <string>
#include <vector>

#include "app/cli/cli_options.h"
#include "app/cli/watch_runs.h"

namespace kestrune {

struct WatchChoice {
  enum Kind {
    kDiscover,            // one watch, or none: the single run finds it
    kEveryWatch,          // --all
    kPorts,               // the ports given (--port)
    kBySerial,            // `watches`: the connected ones with the serials given
    kAmbiguous,           // several connected, none chosen: `watches` lists them
    kSerialNotConnected,  // `word`: a serial number given that no watch has
    kSerialGivenAsPort,   // `word`: a --port value that is a watch's serial number
  };
  Kind kind = kDiscover;
  std::vector<WatchToWrite> watches;
  std::string word;
};

// `connected`: the watches in the device tree now, in its order;
// `portExists`: whether a --port value names something that can be opened.
WatchChoice ChooseWatches(const CliOptions& options, const std::vector<WatchToWrite>& connected,
                          const std::function<bool(const std::string& port)>& portExists);

// A station given serial numbers writes only those watches; with none
// given, every one.
bool StationWrites(const std::vector<std::string>& serials, const std::string& serial);

// "  KW-0001  /dev/ttyACM0  1-1.4": a watch on a line of its own, for the
// list an ambiguous update shows ("-" for what it lacks).
std::string ChoiceLine(const WatchToWrite& watch);

}  // namespace kestrune
