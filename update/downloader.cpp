#include "update/downloader.h"

namespace kestrune {

bool DownloadUrlToFile(const std::u16string& url, const std::u16string& path) {
  return PlatformDownloader().DownloadUrlToFile(url, path);
}

}  // namespace kestrune
