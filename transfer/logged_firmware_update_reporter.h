#pragma once
// A firmware-update reporter that writes the run's statuses and the start
// and end of writing to the run log before passing them on; progress steps
// are passed on without a line each, the facts the run notes go to the log
// only.

#include <string>

#include "transfer/firmware_update.h"
#include "update/run_log.h"

namespace kestrune {

class LoggedFirmwareUpdateReporter : public FirmwareUpdateReporter {
 public:
  // Logs the start of a run by `programName` at once. A `watchTag`
  // (WatchLogTag) follows "update:" on every line of this run.
  LoggedFirmwareUpdateReporter(FirmwareUpdateReporter& inner, RunLog& log,
                               const std::string& programName, const std::string& watchTag = {});

  void PostStatus(const std::u16string& text) override;
  void SetProgressRange(std::uint32_t maximum) override;
  void SetProgressPosition(std::uint32_t position) override;
  void SetWriting(bool writing) override;
  void Note(const std::string& detail) override;
  void VerifyingBlocks(std::uint32_t blocks) override;
  void WatchAlreadyCurrent(const std::string& text) override;
  void PortHeldBy(const std::string& port, const std::string& holders) override;
  void SetCause(const RunCause& cause) override;

 private:
  void Write(const std::string& text);

  FirmwareUpdateReporter& inner_;
  RunLog& log_;
  std::string prefix_;  // "update: " and the watch's tag
};

}  // namespace kestrune
