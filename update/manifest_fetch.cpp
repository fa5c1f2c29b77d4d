#include "update/manifest_fetch.h"

#include "update/downloader.h"
#include "update/file_contents.h"
#include "update/format_path.h"
#include "update/update_service_url.h"
#include "update/user_data_folder.h"

namespace kestrune {

std::string FetchManifestText(Downloader& downloader, DownloadResult* download) {
  const std::u16string folder = GetUserDataFolder(kUserDataFolderName);
  // Without a data folder the path would fall back to the root folder.
  if (folder.empty()) return std::string();
  char16_t path[kPathBufferUnits] = {};
  if (!FormatPath(path, u"%s\\features.json", folder.c_str())) return std::string();
  DownloadResult result = downloader.Download(UpdateServiceUrl(), path);
  if (download != nullptr) *download = std::move(result);
  return ReadFileContents(path).Bytes();
}

}  // namespace kestrune
