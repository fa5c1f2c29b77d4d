#include "update/downloader.h"

namespace kestrune {

std::string DownloadResult::Describe() const {
  std::string text;
  if (fromSavedFile) text = "offline, saved file, ";
  if (httpStatus != 0) text = "HTTP " + std::to_string(httpStatus) + ", ";
  text += std::to_string(bytes) + " bytes";
  if (errorCode != 0 || !errorText.empty()) {
    text += ", error";
    if (errorCode != 0) text += " " + std::to_string(errorCode);
    if (!errorText.empty()) text += " (" + errorText + ")";
  }
  return text;
}

}  // namespace kestrune
