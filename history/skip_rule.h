#pragma once
// Whether a watch already has the firmware on offer: update and station
// look the watch up by its serial number and leave it unwritten when its
// last run on this computer ended "更新完成" with this very firmware (the
// same version and the same images, byte for byte by their digests).

#include <optional>
#include <string>
#include <vector>

#include "history/history_row.h"

namespace kestrune {

struct SkipDecision {
  bool skip = false;
  // Why, for the run log: "no serial number", "its last run here ended
  // block_refused", "it has 2.417, 2.418 is offered", ...
  std::string why;
  // When skipped: the run that wrote the firmware.
  std::optional<HistoryRow> lastRun;
};

// `lastRun` is the watch's last run here that met it (HistoryDatabase::
// LastRunOf); `again` writes whatever the history says. A watch without a
// serial number is never passed over: its port says nothing about which
// watch it is.
SkipDecision DecideSkip(const std::string& serial, const std::optional<HistoryRow>& lastRun,
                        const std::string& offeredVersion,
                        const std::vector<ImageDigest>& offeredImages, bool again);

// "already has 2.418 (2026-12-11 07:30 UTC)": what a desk is told of a
// watch passed over.
std::string AlreadyCurrentText(const HistoryRow& lastRun);

}  // namespace kestrune
