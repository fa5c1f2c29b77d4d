#include "history/skip_rule.h"

namespace kestrune {

SkipDecision DecideSkip(const std::string& serial, const std::optional<HistoryRow>& lastRun,
                        const std::string& offeredVersion,
                        const std::vector<ImageDigest>& offeredImages, bool again) {
  if (serial.empty()) return {false, "the watch has no serial number", std::nullopt};
  if (again) return {false, "written again as asked (--again)", std::nullopt};
  if (!lastRun) return {false, "no earlier run of this watch here", std::nullopt};
  if (lastRun->reason != "done") {
    return {false, "its last run here ended " + lastRun->reason, std::nullopt};
  }
  if (lastRun->firmwareVersion != offeredVersion) {
    return {false,
            "it was given " + lastRun->firmwareVersion + ", " + offeredVersion + " is offered",
            std::nullopt};
  }
  if (lastRun->images != offeredImages) {
    return {false, "version " + offeredVersion + " is offered with other images than it was given",
            std::nullopt};
  }
  return {true,
          "its last run here (" + lastRun->endUtc + ") wrote " + offeredVersion +
              " with the same images",
          lastRun};
}

std::string AlreadyCurrentText(const HistoryRow& lastRun) {
  // "2026-12-11T07:30:02.125Z" -> "2026-12-11 07:30 UTC"
  std::string when = lastRun.endUtc.substr(0, 16);
  if (when.size() > 10) when[10] = ' ';
  return "already has " + lastRun.firmwareVersion + " (" + when + " UTC)";
}

}  // namespace kestrune
