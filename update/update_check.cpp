#include "update/update_check.h"

#include "update/manifest_fetch.h"
#include "update/update_manifest.h"

namespace kestrune {

void RunUpdateCheckProcedure(UpdateCheckReporter& reporter, Downloader& downloader) {
  reporter.PostStatus(u"正在取得更新資料");
  const std::string text = FetchManifestText(downloader);
  reporter.StoreManifestText(text);
  UpdateManifest manifest;
  if (!ParseUpdateManifest(text, manifest)) {
    reporter.PostStatus(u"無法取得更新資料");
    return;
  }
  reporter.ShowFirmwareVersion(manifest.firmwareVersion);
  reporter.ShowReleaseNotes(manifest.releaseNote);
  reporter.PostStatus(u"已取得更新資料");
}

}  // namespace kestrune
