#include "update/update_check.h"

#include "update/downloader.h"
#include "update/manifest_fetch.h"
#include "update/text_conversion.h"
#include "update/update_manifest.h"
#include "update/update_service_url.h"

namespace kestrune {

std::u16string UpdateCheckStatus(UpdateCheckOutcome outcome) {
  return outcome == UpdateCheckOutcome::kNoUpdateData ? kNoUpdateData : kUpdateDataFetched;
}

UpdateCheckOutcome RunUpdateCheckProcedure(UpdateCheckReporter& reporter, Downloader& downloader,
                                           const DownloadLimits& limits,
                                           const std::u16string& folder) {
  reporter.PostStatus(kFetchingUpdateData);
  DownloadResult download;
  const std::string text = FetchManifestText(downloader, limits, &download, folder);
  reporter.Note("manifest " + WideToUtf8Text(UpdateServiceUrl()) + ": " + download.Describe());
  if (!folder.empty()) reporter.Note("saved files in " + WideToUtf8Text(folder));
  if (!download.ok) {
    reporter.Note(text.empty() ? "no features.json from an earlier run"
                               : "using features.json from an earlier run (" +
                                     std::to_string(text.size()) + " bytes)");
  }
  reporter.StoreManifestText(text);
  UpdateManifest manifest;
  std::string why;
  if (!ParseUpdateManifest(text, manifest, &why)) {
    reporter.Note("manifest text of " + std::to_string(text.size()) +
                  " bytes is not a usable manifest" + (why.empty() ? "" : ": " + why));
    reporter.PostStatus(UpdateCheckStatus(UpdateCheckOutcome::kNoUpdateData));
    return UpdateCheckOutcome::kNoUpdateData;
  }
  reporter.Note("manifest offers firmware " + WideToUtf8Text(manifest.firmwareVersion) + " in " +
                std::to_string(manifest.firmwareFiles.size()) + " image(s)");
  reporter.ShowFirmwareVersion(manifest.firmwareVersion);
  reporter.ShowReleaseNotes(manifest.releaseNote);
  // FetchManifestText gives the service's text only when its download went
  // through; any other text is the saved one.
  const UpdateCheckOutcome outcome =
      download.ok ? UpdateCheckOutcome::kFetched : UpdateCheckOutcome::kFromSavedManifest;
  reporter.PostStatus(UpdateCheckStatus(outcome));
  return outcome;
}

}  // namespace kestrune
