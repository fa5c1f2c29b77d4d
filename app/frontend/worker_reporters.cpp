#include "app/frontend/worker_reporters.h"

#include "update/text_conversion.h"

namespace kestrune {

using Kind = WindowNotice::Kind;

void UpdateCheckWorkerReporter::PostStatus(const std::u16string& text) {
  shared_->Post({Kind::kStatus, text});
}

void UpdateCheckWorkerReporter::StoreManifestText(const std::string& text) {
  shared_->SetManifestText(text);
}

void UpdateCheckWorkerReporter::ShowFirmwareVersion(const std::u16string& version) {
  shared_->Post({Kind::kFirmwareVersion, version});
}

void UpdateCheckWorkerReporter::ShowReleaseNotes(const std::u16string& notes) {
  shared_->Post({Kind::kReleaseNotes, notes});
}

void FirmwareUpdateWorkerReporter::PostStatus(const std::u16string& text) {
  shared_->Post({Kind::kStatus, text});
}

void FirmwareUpdateWorkerReporter::SetProgressRange(std::uint32_t maximum) {
  shared_->Post({Kind::kProgressRange, {}, maximum});
}

void FirmwareUpdateWorkerReporter::SetProgressPosition(std::uint32_t position) {
  shared_->Post({Kind::kProgressPosition, {}, position});
}

// A close asks the run's close gate whether firmware is being written; the
// notice is for what the window holds off on the desktop meanwhile.
void FirmwareUpdateWorkerReporter::SetWriting(bool writing) {
  shared_->Post({Kind::kWriting, {}, writing ? 1u : 0u});
}

void UpdateCheckWorkerReporter::CheckEnded(UpdateCheckOutcome outcome) {
  if (outcome != UpdateCheckOutcome::kNoUpdateData) return;
  RunCause cause = UserDataFolderCause();
  if (!cause.Known()) cause = RunCause{RunCauseKind::kNoUpdateData};
  shared_->Post({Kind::kCause, Utf8ToWideText(RunCauseLine(cause))});
}

void FirmwareUpdateWorkerReporter::RunEnded(RunOutcome outcome) {
  // Ended without a failure's status: nothing to explain.
  if (outcome == RunOutcome::kDone || outcome == RunOutcome::kClosedBeforeWriting ||
      outcome == RunOutcome::kPowerLow || !cause_.Known()) {
    return;
  }
  shared_->Post({Kind::kCause, Utf8ToWideText(RunCauseLine(cause_))});
}

}  // namespace kestrune
