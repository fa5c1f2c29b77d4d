#include "app/linux/notice_reporters.h"

namespace kestrune {

using Kind = WindowNotice::Kind;

void UpdateCheckNoticeReporter::PostStatus(const std::u16string& text) {
  shared_->Post({Kind::kStatus, text});
}

void UpdateCheckNoticeReporter::StoreManifestText(const std::string& text) {
  shared_->SetManifestText(text);
}

void UpdateCheckNoticeReporter::ShowFirmwareVersion(const std::u16string& version) {
  shared_->Post({Kind::kFirmwareVersion, version});
}

void UpdateCheckNoticeReporter::ShowReleaseNotes(const std::u16string& notes) {
  shared_->Post({Kind::kReleaseNotes, notes});
}

void FirmwareUpdateNoticeReporter::PostStatus(const std::u16string& text) {
  shared_->Post({Kind::kStatus, text});
}

void FirmwareUpdateNoticeReporter::SetProgressRange(std::uint32_t maximum) {
  shared_->Post({Kind::kProgressRange, {}, maximum});
}

void FirmwareUpdateNoticeReporter::SetProgressPosition(std::uint32_t position) {
  shared_->Post({Kind::kProgressPosition, {}, position});
}

// A close asks the run's close gate whether firmware is being written; the
// notice is for what the window holds off on the desktop meanwhile.
void FirmwareUpdateNoticeReporter::SetWriting(bool writing) {
  shared_->Post({Kind::kWriting, {}, writing ? 1u : 0u});
}

}  // namespace kestrune
