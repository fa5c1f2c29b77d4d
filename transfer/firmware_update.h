#pragma once
// One whole firmware update: discovery, link, downloads, block writes,
// finish frame, with status and progress reports.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "transfer/run_outcome.h"
#include "update/downloader.h"

namespace kestrune {

class CloseGate;
class SerialDeviceTree;

// The watch's USB identity, which discovery looks for.
inline constexpr std::uint16_t kWatchVendorId = 0x1915;
inline constexpr std::uint16_t kWatchProductId = 0x52F0;

// The manifest text that the update check fetched, held once and shared
// with every run that reads it; null when there is none.
using SharedManifestText = std::shared_ptr<const std::string>;

// The status texts of a run, besides the update check's "無法取得更新資料"
// for a missing or unusable manifest.
inline constexpr char16_t kConnectWatch[] = u"請連接 Kestrune 潛水錶";
inline constexpr char16_t kFetchingImages[] = u"正在取得更新檔";
inline constexpr char16_t kImageDownloadFailed[] = u"無法取得更新檔";
inline constexpr char16_t kImageWrongSize[] = u"更新檔錯誤";
inline constexpr char16_t kWritingImage[] = u"正在寫入更新檔";
inline constexpr char16_t kUpdateFailed[] = u"更新錯誤";
inline constexpr char16_t kUpdateDone[] = u"更新完成";
// Failures of the link itself: the port cannot be opened or configured, and
// the watch stopped answering or reading.
inline constexpr char16_t kPortUnavailable[] = u"無法開啟潛水錶連接埠";
inline constexpr char16_t kWatchSilent[] = u"潛水錶沒有回應";
// Said by a window asked to close while firmware is being written; it closes
// when the run has ended.
inline constexpr char16_t kCloseDeferred[] = u"更新結束後將關閉視窗";

// The status line while a deferred close is owed: the run's own status may
// follow, but the notice stays in front of it.
std::u16string StatusWithCloseDeferred(const std::u16string& status);

// What a run reports to, implemented by the dialog with window messages and
// by tests by recording.
class FirmwareUpdateReporter {
 public:
  virtual ~FirmwareUpdateReporter() = default;
  virtual void PostStatus(const std::u16string& text) = 0;
  // The progress bar runs from 0 to `maximum`, one step per block.
  virtual void SetProgressRange(std::uint32_t maximum) = 0;
  // The progress bar's position: the number of blocks written so far.
  virtual void SetProgressPosition(std::uint32_t position) = 0;
  // True from just before the first block goes to the watch until the run
  // ends; a window must not close in between.
  virtual void SetWriting(bool writing) = 0;
  // A fact the user does not see but support needs (what was found, what
  // failed and why), in English, UTF-8: for the run log.
  virtual void Note(const std::string& /*detail*/) {}
  // Every image is written and the run now reads its `blocks` written
  // blocks back (only a run asked to verify them); the progress stays where
  // the writing left it.
  virtual void VerifyingBlocks(std::uint32_t /*blocks*/) {}
};

struct FirmwareUpdateEnvironment {
  Downloader& downloader;
  SerialDeviceTree& devices;
  // Reads the manifest text at the moment the run needs it.
  std::function<SharedManifestText()> manifestText;
  // Longest wait for one answer frame from the watch.
  std::chrono::milliseconds answerTimeout;
  // The front-end's close decision; none for a run nobody can close.
  CloseGate* closeGate = nullptr;
  // When not empty, discovery is skipped and this port is opened ("COM7",
  // "\\.\COM7", "/dev/ttyACM0").
  std::u16string portPath = {};
  // Bounds of each image download (stall, redirects); the image's size from
  // the manifest bounds its length.
  DownloadLimits downloadLimits = {};
  // After the last block of every image and before the finish frame, read
  // every written block back and compare it with the image; a block that
  // differs is written once more and read again, and one that still differs
  // (or cannot be read back) ends the run with "更新錯誤". It doubles the
  // time on the line, so it is off unless asked for.
  bool verifyWrittenBlocks = false;
};

// Runs one whole update on the calling thread and returns how it ended
// when it is over; it never throws. Its last status is the outcome's
// (RunOutcomeStatus): "更新完成" when every image is written and the finish
// frame sent, otherwise the failure's text. A run whose close gate had a
// close decided before the first block stops there, writes nothing, posts
// no further status and returns kClosedBeforeWriting.
// The progress range counts every block of every image, a short tail as one
// block; the position is the number of blocks written so far. The port is
// closed before the function returns, and the images stay in the user data
// folder as data<sequence>.bin.
RunOutcome RunFirmwareUpdateProcedure(FirmwareUpdateReporter& reporter,
                                      const FirmwareUpdateEnvironment& environment);

}  // namespace kestrune
