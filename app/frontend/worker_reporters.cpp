#include "app/frontend/worker_reporters.h"

namespace kestrune {

void UpdateCheckWorkerReporter::PostStatus(const std::u16string& text) {
  shared_->ShowStatus(text);
}

void UpdateCheckWorkerReporter::StoreManifestText(const std::string& text) {
  shared_->SetManifestText(text);
}

void UpdateCheckWorkerReporter::ShowFirmwareVersion(const std::u16string& version) {
  shared_->ShowFirmwareVersion(version);
}

void UpdateCheckWorkerReporter::ShowReleaseNotes(const std::u16string& notes) {
  shared_->ShowReleaseNotes(notes);
}

void FirmwareUpdateWorkerReporter::PostStatus(const std::u16string& text) {
  shared_->ShowStatus(text);
}

void FirmwareUpdateWorkerReporter::SetProgressRange(std::uint32_t maximum) {
  shared_->ShowProgressRange(maximum);
}

void FirmwareUpdateWorkerReporter::SetProgressPosition(std::uint32_t position) {
  shared_->ShowProgressPosition(position);
}

void FirmwareUpdateWorkerReporter::SetWriting(bool writing) { shared_->ShowWriting(writing); }

}  // namespace kestrune
