#include "app/cli/watch_choice.h"

#include <algorithm>

#include "app/cli/cli_output.h"

namespace kestrune {

WatchChoice ChooseWatches(const CliOptions& options, const std::vector<WatchToWrite>& connected,
                          const std::function<bool(const std::string& port)>& portExists) {
  WatchChoice choice;
  const auto withSerial = [&connected](const std::string& serial) {
    return std::find_if(connected.begin(), connected.end(),
                        [&serial](const WatchToWrite& watch) { return watch.serial == serial; });
  };
  if (options.all) {
    choice.kind = WatchChoice::kEveryWatch;
  } else if (!options.ports.empty()) {
    choice.kind = WatchChoice::kPorts;
    for (const std::string& port : options.ports) {
      const bool aPort =
          std::any_of(connected.begin(), connected.end(),
                      [&port](const WatchToWrite& watch) { return watch.port == port; });
      // A serial number typed where the port belongs: said, not tried.
      if (!aPort && !portExists(port) && withSerial(port) != connected.end()) {
        choice.kind = WatchChoice::kSerialGivenAsPort;
        choice.word = port;
        return choice;
      }
    }
  } else if (!options.serials.empty()) {
    choice.kind = WatchChoice::kBySerial;
    for (const std::string& serial : options.serials) {
      const auto found = withSerial(serial);
      if (found == connected.end()) {
        choice.kind = WatchChoice::kSerialNotConnected;
        choice.word = serial;
        choice.watches.clear();
        return choice;
      }
      choice.watches.push_back(*found);
    }
  } else if (connected.size() > 1) {
    choice.kind = WatchChoice::kAmbiguous;
    choice.watches = connected;
  }
  return choice;
}

bool StationWrites(const std::vector<std::string>& serials, const std::string& serial) {
  return serials.empty() || std::find(serials.begin(), serials.end(), serial) != serials.end();
}

std::string ChoiceLine(const WatchToWrite& watch) {
  const auto shown = [](const std::string& text) {
    return text.empty() ? std::string("-") : TerminalSafeText(text, false);
  };
  return "  " + shown(watch.serial) + "  " + shown(watch.port) + "  " + shown(watch.location);
}

}  // namespace kestrune
