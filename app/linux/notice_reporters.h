#pragma once
// The reporters through which the two workers reach the Linux window: every
// report becomes a notice queued for the UI thread; none waits for it.

#include <memory>

#include "app/linux/window_shared_state.h"
#include "transfer/firmware_update.h"
#include "update/update_check.h"

namespace kestrune {

class UpdateCheckNoticeReporter : public UpdateCheckReporter {
 public:
  explicit UpdateCheckNoticeReporter(std::shared_ptr<WindowSharedState> shared)
      : shared_(std::move(shared)) {}

  void PostStatus(const std::u16string& text) override;
  void StoreManifestText(const std::string& text) override;
  void ShowFirmwareVersion(const std::u16string& version) override;
  void ShowReleaseNotes(const std::u16string& notes) override;

 private:
  std::shared_ptr<WindowSharedState> shared_;
};

class FirmwareUpdateNoticeReporter : public FirmwareUpdateReporter {
 public:
  explicit FirmwareUpdateNoticeReporter(std::shared_ptr<WindowSharedState> shared)
      : shared_(std::move(shared)) {}

  void PostStatus(const std::u16string& text) override;
  void SetProgressRange(std::uint32_t maximum) override;
  void SetProgressPosition(std::uint32_t position) override;
  void SetWriting(bool writing) override;

 private:
  std::shared_ptr<WindowSharedState> shared_;
};

}  // namespace kestrune
