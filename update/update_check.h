#pragma once
// The update check: fetches the update manifest into features.json, hands
// its text over, and reports the offered version and release notes.

#include <string>

#include "update/downloader.h"

namespace kestrune {

// The check's status texts. "無法取得更新資料" also ends a firmware update
// that has no usable manifest.
inline constexpr char16_t kFetchingUpdateData[] = u"正在取得更新資料";
inline constexpr char16_t kNoUpdateData[] = u"無法取得更新資料";
inline constexpr char16_t kUpdateDataFetched[] = u"已取得更新資料";

// What the check reports to, implemented by the dialog with window calls
// and by tests by recording.
class UpdateCheckReporter {
 public:
  virtual ~UpdateCheckReporter() = default;
  virtual void PostStatus(const std::u16string& text) = 0;
  // The manifest text (raw UTF-8) that later firmware updates work from.
  virtual void StoreManifestText(const std::string& text) = 0;
  virtual void ShowFirmwareVersion(const std::u16string& version) = 0;
  // The release notes, unchanged.
  virtual void ShowReleaseNotes(const std::u16string& notes) = 0;
  // A fact the user does not see but support needs (what was found, what
  // failed and why), in English, UTF-8. The run log's reporter writes it and
  // keeps it: a front-end learns how a run ended from its outcome, so a
  // window or the command line has no use for it.
  virtual void Note(const std::string& /*detail*/) {}
};

// How a check ended: which manifest it shows, or none.
enum class UpdateCheckOutcome {
  kFetched,            // the service's own manifest, now in features.json
  kFromSavedManifest,  // the service gave none; features.json of an earlier run
  kNoUpdateData,       // no usable manifest at all
};

// The check's last status for the outcome: "已取得更新資料" when a manifest
// is shown, "無法取得更新資料" otherwise.
std::u16string UpdateCheckStatus(UpdateCheckOutcome outcome);

// Runs one whole update check against the update service with `downloader`
// within `limits` (the manifest's own size bound always applies), and
// returns how it ended; the last status posted is UpdateCheckStatus's.
// With `folder`, the manifest is features.json in that folder (a bundle)
// instead of the user data folder's.
UpdateCheckOutcome RunUpdateCheckProcedure(UpdateCheckReporter& reporter, Downloader& downloader,
                                           const DownloadLimits& limits = {},
                                           const std::u16string& folder = {});

}  // namespace kestrune
