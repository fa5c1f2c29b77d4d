#pragma once
// The reporters through which a window's two workers reach it: each report
// goes to the window's shared state, which hands it to the window as that
// window does.

#include <memory>

#include "app/frontend/worker_shared_state.h"
#include "transfer/firmware_update.h"
#include "update/update_check.h"

namespace kestrune {

class UpdateCheckWorkerReporter : public UpdateCheckReporter {
 public:
  explicit UpdateCheckWorkerReporter(std::shared_ptr<WorkerSharedState> shared)
      : shared_(std::move(shared)) {}

  void PostStatus(const std::u16string& text) override;
  void StoreManifestText(const std::string& text) override;
  void ShowFirmwareVersion(const std::u16string& version) override;
  void ShowReleaseNotes(const std::u16string& notes) override;

  // The check has ended with `outcome`: one that found no update data posts
  // its cause (the data folder when that is what failed).
  void CheckEnded(UpdateCheckOutcome outcome);

 private:
  std::shared_ptr<WorkerSharedState> shared_;
};

class FirmwareUpdateWorkerReporter : public FirmwareUpdateReporter {
 public:
  explicit FirmwareUpdateWorkerReporter(std::shared_ptr<WorkerSharedState> shared)
      : shared_(std::move(shared)) {}

  void PostStatus(const std::u16string& text) override;
  void SetProgressRange(std::uint32_t maximum) override;
  void SetProgressPosition(std::uint32_t position) override;
  void SetWriting(bool writing) override;
  // Kept until the run has ended: the writing thread only stores it.
  void SetCause(const RunCause& cause) override { cause_ = cause; }

  // The run has ended with `outcome`: a failure posts its cause, when the
  // run gave one, after its status.
  void RunEnded(RunOutcome outcome);

 private:
  std::shared_ptr<WorkerSharedState> shared_;
  RunCause cause_;
};

}  // namespace kestrune
