#include "update/update_check.h"

#include "update/downloader.h"
#include "update/manifest_fetch.h"
#include "update/text_conversion.h"
#include "update/update_manifest.h"
#include "update/update_service_url.h"

namespace kestrune {

void RunUpdateCheckProcedure(UpdateCheckReporter& reporter, Downloader& downloader,
                             const DownloadLimits& limits) {
  reporter.PostStatus(kFetchingUpdateData);
  DownloadResult download;
  const std::string text = FetchManifestText(downloader, limits, &download);
  reporter.Note("manifest " + WideToUtf8Text(UpdateServiceUrl()) + ": " + download.Describe());
  if (!download.ok) {
    reporter.Note(text.empty() ? "no features.json from an earlier run"
                               : "using features.json from an earlier run (" +
                                     std::to_string(text.size()) + " bytes)");
  }
  reporter.StoreManifestText(text);
  UpdateManifest manifest;
  if (!ParseUpdateManifest(text, manifest)) {
    reporter.Note("manifest text of " + std::to_string(text.size()) +
                  " bytes is not a usable manifest");
    reporter.PostStatus(kNoUpdateData);
    return;
  }
  reporter.Note("manifest offers firmware " + WideToUtf8Text(manifest.firmwareVersion) + " in " +
                std::to_string(manifest.firmwareFiles.size()) + " image(s)");
  reporter.ShowFirmwareVersion(manifest.firmwareVersion);
  reporter.ShowReleaseNotes(manifest.releaseNote);
  reporter.PostStatus(kUpdateDataFetched);
}

}  // namespace kestrune
