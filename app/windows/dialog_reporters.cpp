#include "app/windows/dialog_reporters.h"

#include <commctrl.h>

#include "res/resource.h"

namespace kestrune {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text is handed to the W functions");

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// Sets a control's text; waits for the UI thread. Does nothing once the
// window is gone.
void SetControlText(const DialogSharedState& shared, int controlId, const std::u16string& text) {
  HWND window = shared.Window();
  if (!window) return;
  HWND control = GetDlgItem(window, controlId);
  if (control) SetWindowTextW(control, Wide(text));
}

LRESULT SendToProgressBar(const DialogSharedState& shared, UINT message, WPARAM wParam,
                          LPARAM lParam) {
  HWND window = shared.Window();
  if (!window) return 0;
  HWND bar = GetDlgItem(window, IDC_PROGRESS);
  return bar ? SendMessageW(bar, message, wParam, lParam) : 0;
}

}  // namespace

void UpdateCheckWindowReporter::PostStatus(const std::u16string& text) {
  shared_->PostStatus(text);
}

void UpdateCheckWindowReporter::StoreManifestText(const std::string& text) {
  shared_->SetManifestText(text);
}

void UpdateCheckWindowReporter::ShowFirmwareVersion(const std::u16string& version) {
  SetControlText(*shared_, IDC_VERSION, version);
}

void UpdateCheckWindowReporter::ShowReleaseNotes(const std::u16string& notes) {
  SetControlText(*shared_, IDC_RELEASE_NOTES, notes);
}

void FirmwareUpdateWindowReporter::PostStatus(const std::u16string& text) {
  shared_->PostStatus(text);
}

void FirmwareUpdateWindowReporter::SetProgressRange(std::uint32_t maximum) {
  // The 32-bit range message: a long image must not wrap at 65535 blocks.
  SendToProgressBar(*shared_, PBM_SETRANGE32, 0, static_cast<LPARAM>(maximum));
  SendToProgressBar(*shared_, PBM_SETSTEP, 1, 0);
}

void FirmwareUpdateWindowReporter::SetProgressPosition(std::uint32_t position) {
  SendToProgressBar(*shared_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void FirmwareUpdateWindowReporter::SetWriting(bool writing) {
  // The shutdown block belongs to the window's own thread.
  shared_->Post(WM_WRITING_CHANGED, writing ? 1 : 0);
}

}  // namespace kestrune
