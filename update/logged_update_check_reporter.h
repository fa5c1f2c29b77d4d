#pragma once
// An update-check reporter that writes what the check reports to the run
// log before passing it on; the facts the check notes go to the log only.

#include <string>

#include "update/run_log.h"
#include "update/update_check.h"

namespace kestrune {

class LoggedUpdateCheckReporter : public UpdateCheckReporter {
 public:
  // Logs the start of a check by `programName` at once.
  LoggedUpdateCheckReporter(UpdateCheckReporter& inner, RunLog& log,
                            const std::string& programName);

  void PostStatus(const std::u16string& text) override;
  void StoreManifestText(const std::string& text) override;
  void ShowFirmwareVersion(const std::u16string& version) override;
  void ShowReleaseNotes(const std::u16string& notes) override;
  void Note(const std::string& detail) override;

 private:
  UpdateCheckReporter& inner_;
  RunLog& log_;
};

}  // namespace kestrune
