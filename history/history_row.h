#pragma once
// One row of the service history: what became of one watch in one run, as
// the desk asks for it later (which watch got which firmware when).

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrune {

// One image of the firmware offered to the watch.
struct ImageDigest {
  std::uint32_t size = 0;
  std::string sha256;  // 64 lowercase hexadecimal digits
  bool operator==(const ImageDigest& other) const {
    return size == other.size && sha256 == other.sha256;
  }
};

struct HistoryRow {
  std::string startUtc;  // "2026-12-11T07:30:02.125Z"
  std::string endUtc;
  std::string program;  // "kestrune-update", "orvel kestrune", "orvel-kestrune"
  std::string programVersion;
  std::string host;
  std::string serial;    // the USB serial number; empty when the watch has none
  std::string port;      // what the link opened
  std::string location;  // where it was plugged in; empty when unknown
  std::string firmwareVersion;
  std::vector<ImageDigest> images;
  std::string reason;  // the outcome's reason word: "done", "block_refused", ...
  std::uint32_t blocksWritten = 0;
  // "not asked", "all blocks match", "N block(s) written again", "failed".
  std::string readBack;
  std::string logTag;  // "[watch KW-0001]" when several watches ran at once
};

// The reason word of a run that found the watch already had the offered
// firmware and wrote nothing.
inline constexpr char kAlreadyCurrentReason[] = "already_current";

// The images as one text, "8192:ab12...;5000:cd34...", and back; an image
// that cannot be read back is left out.
std::string ImagesText(const std::vector<ImageDigest>& images);
std::vector<ImageDigest> ParseImagesText(const std::string& text);

}  // namespace kestrune
