#pragma once
// An UpdateCheckReporter that records every call, one list per kind.

#include <string>
#include <vector>

#include "update/update_check.h"

namespace kestrune {
namespace testing_support {

class RecordingUpdateCheckReporter : public UpdateCheckReporter {
 public:
  void PostStatus(const std::u16string& text) override { statuses.push_back(text); }
  void StoreManifestText(const std::string& text) override { stored.push_back(text); }
  void ShowFirmwareVersion(const std::u16string& version) override { versions.push_back(version); }
  void ShowReleaseNotes(const std::u16string& notes) override { this->notes.push_back(notes); }
  void Note(const std::string& detail) override { details.push_back(detail); }

  std::vector<std::u16string> statuses;
  std::vector<std::string> stored;
  std::vector<std::u16string> versions;
  std::vector<std::u16string> notes;  // release notes
  std::vector<std::string> details;   // lines for the run log
};

}  // namespace testing_support
}  // namespace kestrune
