#include "update/update_check.h"

#include "update/manifest_fetch.h"
#include "update/update_manifest.h"

namespace kestrune {

void RunUpdateCheckProcedure(UpdateCheckReporter& reporter, Downloader& downloader) {
  reporter.PostStatus(kFetchingUpdateData);
  const std::string text = FetchManifestText(downloader);
  reporter.StoreManifestText(text);
  UpdateManifest manifest;
  if (!ParseUpdateManifest(text, manifest)) {
    reporter.PostStatus(kNoUpdateData);
    return;
  }
  reporter.ShowFirmwareVersion(manifest.firmwareVersion);
  reporter.ShowReleaseNotes(manifest.releaseNote);
  reporter.PostStatus(kUpdateDataFetched);
}

}  // namespace kestrune
