#pragma once
// One whole firmware update: discovery, link, downloads, block writes,
// finish frame, with status and progress reports.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace kestrune {

class Downloader;
class DevicePlatform;

// What a run reports to, implemented by the dialog with window messages and
// by tests by recording.
class FirmwareUpdateReporter {
 public:
  virtual ~FirmwareUpdateReporter() = default;
  // A new status line text.
  virtual void PostStatus(const std::u16string& text) = 0;
  // The progress bar runs from 0 to `maximum`, one step per block.
  virtual void SetProgressRange(std::uint32_t maximum) = 0;
  // The progress bar's position: the number of blocks written so far.
  virtual void SetProgressPosition(std::uint32_t position) = 0;
  // True from just before the first block goes to the watch until the run
  // ends; a window must not close in between.
  virtual void SetWriting(bool writing) = 0;
};

struct FirmwareUpdateEnvironment {
  Downloader& downloader;
  DevicePlatform& devices;
  // Reads the manifest text at the moment the run needs it.
  std::function<std::string()> manifestText;
  // Longest wait for one answer frame from the watch.
  std::chrono::milliseconds answerTimeout;
};

void RunFirmwareUpdateProcedure(FirmwareUpdateReporter& reporter,
                                const FirmwareUpdateEnvironment& environment);

}  // namespace kestrune
