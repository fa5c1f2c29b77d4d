#include "history/history_row.h"

#include <cstdio>
#include <ctime>
#include <sstream>

namespace kestrune {

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
