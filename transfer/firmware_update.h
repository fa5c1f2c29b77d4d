#pragma once
// One whole firmware update: discovery, link, downloads, block writes,
// finish frame, with status and progress reports.

#include <chrono>
#include <cstdint>
#include <string>

#include "transfer/run_cause.h"
#include "transfer/run_outcome.h"
#include "transfer/update_environment.h"

namespace kestrune {

// The watch's USB identity, which discovery looks for.
inline constexpr std::uint16_t kWatchVendorId = 0x1915;
inline constexpr std::uint16_t kWatchProductId = 0x52F0;

// The status texts of a run, besides the update check's "無法取得更新資料"
// for a missing or unusable manifest.
inline constexpr char16_t kConnectWatch[] = u"請連接 Kestrune 潛水錶";
inline constexpr char16_t kFetchingImages[] = u"正在取得更新檔";
inline constexpr char16_t kImageDownloadFailed[] = u"無法取得更新檔";
inline constexpr char16_t kImageWrongSize[] = u"更新檔錯誤";
inline constexpr char16_t kWritingImage[] = u"正在寫入更新檔";
inline constexpr char16_t kUpdateFailed[] = u"更新錯誤";
inline constexpr char16_t kUpdateDone[] = u"更新完成";
// Said by the command line of a watch that already has the offered
// firmware (the windows always write).
inline constexpr char16_t kAlreadyCurrent[] = u"潛水錶已是此版韌體";
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
  // failed and why), in English, UTF-8. The run log's reporter writes it and
  // keeps it: a front-end learns how a run ended from its outcome, so a
  // window or the command line has no use for it.
  virtual void Note(const std::string& /*detail*/) {}
  // Every image is written and the run now reads its `blocks` written
  // blocks back (only a run asked to verify them); the progress stays where
  // the writing left it.
  virtual void VerifyingBlocks(std::uint32_t /*blocks*/) {}
  // The watch is left unwritten: the history says it has the firmware on
  // offer; `text` says since when ("already has 2.418 (2026-12-11 07:30
  // UTC)").
  virtual void WatchAlreadyCurrent(const std::string& /*text*/) {}
  // The watch's port is open in other programs (`holders`: "pid 4711
  // (cat)"), so the run ends without writing it, as for a port that does not
  // open ("無法開啟潛水錶連接埠"); a front-end may name them.
  virtual void PortHeldBy(const std::string& /*port*/, const std::string& /*holders*/) {}
  // Why the run is failing, said where the failure is decided and before
  // its status; a front-end shows RunCauseLine beneath that status. Storing
  // the value is all an implementation may do: the writing thread calls it.
  virtual void SetCause(const RunCause& /*cause*/) {}
};

// Runs one whole update on the calling thread and returns how it ended
// when it is over; it never throws. Its last status is the outcome's
// (RunOutcomeStatus): "更新完成" when every image is written and the finish
// frame sent, otherwise the failure's text. A run whose close gate had a
// close decided before the first block stops there, writes nothing, posts
// no further status and returns kClosedBeforeWriting. With a question for
// a weak battery in `environment`, the power is checked once every image is
// in hand; a run not to go on ends there with kPowerLow, nothing written.
// The progress range counts every block of every image, a short tail as one
// block; the position is the number of blocks written so far. The port is
// closed before the function returns, and the images stay in the user data
// folder as data<sequence>.bin.
RunOutcome RunFirmwareUpdateProcedure(FirmwareUpdateReporter& reporter,
                                      const UpdateEnvironment& environment);

}  // namespace kestrune
