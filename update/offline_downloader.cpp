#include "update/offline_downloader.h"

#include <filesystem>
#include <fstream>

#include "update/file_contents.h"
#include "update/text_conversion.h"

namespace kestrune {

DownloadResult OfflineDownloader::Download(const std::u16string& /*url*/,
                                           const std::u16string& path,
                                           const DownloadLimits& limits) {
  DownloadResult result;
  result.fromSavedFile = true;
  // The size first: a stray file far over the bound is never read. The
  // body is read only for a caller that judges it; an image is read once,
  // by the fetch that checks it.
  const std::filesystem::path file(path);
  std::error_code error;
  const bool regular = std::filesystem::is_regular_file(file, error);
  const std::uintmax_t size = regular ? std::filesystem::file_size(file, error) : 0;
  if (!regular || error || !std::ifstream(file, std::ios::binary)) {
    result.errorText = "no saved file " + WideToUtf8Text(path) + " (missing or unreadable)";
    return result;
  }
  result.bytes = size;
  if (limits.maxBytes && size > *limits.maxBytes) {
    result.tooLarge = true;
    result.errorText = "saved file " + WideToUtf8Text(path) + " is longer than " +
                       std::to_string(*limits.maxBytes) + " bytes";
    return result;
  }
  if (limits.acceptBody) {
    const FileContents saved = ReadFileContents(path);
    if (!saved.WasRead()) {
      result.errorText = "no saved file " + WideToUtf8Text(path) + " (missing or unreadable)";
      return result;
    }
    if (!limits.acceptBody(saved.Bytes())) {
      result.errorText = "saved file " + WideToUtf8Text(path) + " not accepted";
      return result;
    }
  }
  result.ok = true;
  return result;
}

Downloader& SavedFilesDownloader() {
  static OfflineDownloader downloader;
  return downloader;
}

}  // namespace kestrune
