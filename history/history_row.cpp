#include "history/history_row.h"

#include <cstdio>
#include <ctime>
#include <sstream>

namespace kestrune {

std::string UtcTimestamp(std::chrono::system_clock::time_point when) {
  const auto sinceEpoch =
      std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(sinceEpoch / 1000);
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &seconds);
#else
  gmtime_r(&seconds, &utc);
#endif
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(sinceEpoch % 1000));
  return text;
}

std::string ImagesText(const std::vector<ImageDigest>& images) {
  std::string text;
  for (const ImageDigest& image : images) {
    if (!text.empty()) text += ';';
    text += std::to_string(image.size) + ':' + image.sha256;
  }
  return text;
}

std::vector<ImageDigest> ParseImagesText(const std::string& text) {
  std::vector<ImageDigest> images;
  std::istringstream pieces(text);
  std::string piece;
  while (std::getline(pieces, piece, ';')) {
    const std::size_t colon = piece.find(':');
    if (colon == std::string::npos || colon == 0) continue;
    try {
      images.push_back({static_cast<std::uint32_t>(std::stoul(piece.substr(0, colon))),
                        piece.substr(colon + 1)});
    } catch (const std::exception&) {
    }
  }
  return images;
}

}  // namespace kestrune
