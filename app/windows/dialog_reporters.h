#pragma once
// The reporters through which the two workers reach the dialog: status
// texts by posted message, control texts and progress by sent messages.

#include <memory>

#include "app/windows/dialog_shared_state.h"
#include "transfer/firmware_update.h"
#include "update/update_check.h"

namespace kestrune {

class UpdateCheckWindowReporter : public UpdateCheckReporter {
 public:
  explicit UpdateCheckWindowReporter(std::shared_ptr<DialogSharedState> shared)
      : shared_(std::move(shared)) {}

  void PostStatus(const std::u16string& text) override;
  void StoreManifestText(const std::string& text) override;
  void ShowFirmwareVersion(const std::u16string& version) override;
  void ShowReleaseNotes(const std::u16string& notes) override;

 private:
  std::shared_ptr<DialogSharedState> shared_;
};

class FirmwareUpdateWindowReporter : public FirmwareUpdateReporter {
 public:
  explicit FirmwareUpdateWindowReporter(std::shared_ptr<DialogSharedState> shared)
      : shared_(std::move(shared)) {}

  void PostStatus(const std::u16string& text) override;
  void SetProgressRange(std::uint32_t maximum) override;
  void SetProgressPosition(std::uint32_t position) override;
  void SetWriting(bool writing) override;

 private:
  std::shared_ptr<DialogSharedState> shared_;
};

}  // namespace kestrune
