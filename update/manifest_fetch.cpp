#include "update/manifest_fetch.h"

#include "update/file_contents.h"
#include "update/update_manifest.h"
#include "update/update_service_url.h"
#include "update/user_data_folder.h"

namespace kestrune {

std::string FetchManifestText(Downloader& downloader, const DownloadLimits& limits,
                              DownloadResult* download, const std::u16string& folder) {
  const std::u16string path = DataFilePath(folder, u"features.json");
  if (path.empty()) {
    if (download != nullptr) download->errorText = "no user data folder for features.json";
    return std::string();
  }

  // The body is read once, judged, and kept when it replaces the cache.
  std::string fetched;
  bool unusable = false;
  std::string why;
  DownloadLimits bounded = limits;
  bounded.maxBytes = kManifestMaxBytes;
  bounded.acceptBody = [&](const std::string& text) {
    UpdateManifest manifest;
    unusable = !ParseUpdateManifest(text, manifest, &why);
    if (!unusable) fetched = text;
    return !unusable;
  };
  DownloadResult result = downloader.Download(UpdateServiceUrl(), path, bounded);
  if (unusable) result.errorText = "not a usable manifest" + (why.empty() ? "" : ": " + why);
  const bool fresh = result.ok;
  if (download != nullptr) *download = std::move(result);
  if (fresh) return fetched;
  return ReadFileContents(path).Bytes();
}

}  // namespace kestrune
