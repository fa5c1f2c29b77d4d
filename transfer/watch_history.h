#pragma once
// What the service history keeps of one watch's run, gathered while the run
// reports (which watch, which firmware, blocks written, the read-back) and
// handed to the history's writer once the run has ended; and the look-up
// that tells whether a watch already has the firmware on offer.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "history/history_row.h"
#include "history/skip_rule.h"
#include "transfer/firmware_fetch.h"
#include "transfer/firmware_update.h"
#include "transfer/run_outcome.h"

namespace kestrune {

class HistoryWriter;

// Each image's size and SHA-256, as the fetch took them from the bytes it
// keeps (the digests the record of saved images holds too).
std::vector<ImageDigest> ImageDigests(const FetchedFirmware& firmware);

// A reporter in front of a run's own that passes everything on and keeps
// what the history row needs. The run's start is its construction.
class RunRecord : public FirmwareUpdateReporter {
 public:
  RunRecord(FirmwareUpdateReporter& inner, std::string programName, std::string logTag = {});

  void PostStatus(const std::u16string& text) override { inner_.PostStatus(text); }
  void SetProgressRange(std::uint32_t maximum) override { inner_.SetProgressRange(maximum); }
  void SetProgressPosition(std::uint32_t position) override;
  void SetWriting(bool writing) override { inner_.SetWriting(writing); }
  void Note(const std::string& detail) override;
  void VerifyingBlocks(std::uint32_t blocks) override;
  void WatchAlreadyCurrent(const std::string& text) override { inner_.WatchAlreadyCurrent(text); }
  void PortHeldBy(const std::string& port, const std::string& holders) override {
    inner_.PortHeldBy(port, holders);
  }
  void SetCause(const RunCause& cause) override { inner_.SetCause(cause); }

  // The watch the run opened.
  void SetWatch(const std::string& serial, const std::string& port, const std::string& location);
  // The firmware it is given; `digests` its images' (ImageDigests).
  void SetFirmware(const std::u16string& version, std::vector<ImageDigest> digests);
  // Whether a watch's port was reached: only such a run has a row.
  bool MetAWatch() const { return !port_.empty(); }
  const std::string& Serial() const { return serial_; }

  // The row of the run that ended now with `outcome`.
  HistoryRow Row(RunOutcome outcome) const;

 private:
  FirmwareUpdateReporter& inner_;
  std::string programName_;
  std::string logTag_;
  std::chrono::system_clock::time_point started_;
  std::string serial_, port_, location_, firmwareVersion_;
  std::vector<ImageDigest> images_;
  std::uint32_t blocksWritten_ = 0;
  bool verifyAsked_ = false;
  std::uint32_t rewritten_ = 0;
};

// Hands `record`'s row for `outcome` to `writer` (none: nothing); returns at
// once.
void PostRunRecord(HistoryWriter* writer, const RunRecord& record, RunOutcome outcome);

// Whether the watch with `serial` already has the firmware on offer, from
// the history file at `historyPath` (a short wait for a lock; a file that
// cannot be read leaves the watch to be written, its cause noted to
// `reporter`).
SkipDecision LookUpAlreadyCurrent(const std::u16string& historyPath, const std::string& serial,
                                  const std::u16string& version,
                                  const std::vector<ImageDigest>& digests, bool again,
                                  FirmwareUpdateReporter& reporter);

}  // namespace kestrune
