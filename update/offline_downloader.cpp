#include "update/offline_downloader.h"

#include "update/file_contents.h"
#include "update/text_conversion.h"

namespace kestrune {

DownloadResult OfflineDownloader::Download(const std::u16string& /*url*/,
                                           const std::u16string& path,
                                           const DownloadLimits& limits) {
  DownloadResult result;
  result.fromSavedFile = true;
  const FileContents saved = ReadFileContents(path);
  if (!saved.WasRead()) {
    result.errorText = "no saved file " + WideToUtf8Text(path) + " (missing or unreadable)";
    return result;
  }
  result.bytes = saved.size;
  if (limits.maxBytes && saved.size > *limits.maxBytes) {
    result.tooLarge = true;
    result.errorText = "saved file " + WideToUtf8Text(path) + " is longer than " +
                       std::to_string(*limits.maxBytes) + " bytes";
    return result;
  }
  if (limits.acceptBody && !limits.acceptBody(saved.Bytes())) {
    result.errorText = "saved file " + WideToUtf8Text(path) + " not accepted";
    return result;
  }
  result.ok = true;
  return result;
}

Downloader& SavedFilesDownloader() {
  static OfflineDownloader downloader;
  return downloader;
}

}  // namespace kestrune
