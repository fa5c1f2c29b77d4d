#pragma once
// The update manifest as the system reads it, and the one rule that decides
// whether a manifest text is usable. The update check and the firmware
// update both read the manifest through ParseUpdateManifest.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrune {

// One element of response.firmware_files.
struct FirmwareFileEntry {
  int32_t size = 0;
  int32_t sequence = 0;
  std::u16string filePath;
  int32_t address = 0;
};

struct UpdateManifest {
  std::u16string firmwareVersion;
  std::u16string releaseNote;
  std::vector<FirmwareFileEntry> firmwareFiles;
};

// A manifest text of this many bytes or fewer counts as no data at all.
constexpr size_t kNoManifestMaxBytes = 256;

// Reads `text` (UTF-8 JSON) into `out`. Returns false, leaving `out` as it
// was, when the text is not a usable manifest:
// - it is 256 bytes or shorter, or does not parse as JSON (a syntax error
//   before the end of the root value rejects the whole text; text after a
//   complete root value is ignored, as Json::Reader does);
// - the root is not an object, or its `response` is missing or not an object;
// - `response.firmware_version` or `response.release_note` is missing or
//   not a string;
// - `response.firmware_files` is present but not an array, or one of its
//   elements is not an object;
// - in an element, `file_path` is missing or not a string, or `size`,
//   `sequence` or `address` is present but not a JSON integer (no fraction,
//   no exponent) within the signed 32-bit range, or `size` is below zero;
// - two elements have the same `sequence`: each image is saved under its
//   sequence number, so one file would stand for both.
// Every entry is checked before any is used, so a bad entry anywhere in the
// list keeps the whole update from starting. Addresses are 32-bit, as the
// watch takes them: a negative one stands for its two's complement.
// A missing `firmware_files` reads as an empty list and a missing number
// member as 0. Strings are taken up to their first zero byte and converted
// with Utf8ToWide. All other members, inside `response` or outside it, are
// ignored. With `why`, a refusal the run log should name is said there
// (empty for the others).
bool ParseUpdateManifest(const std::string& text, UpdateManifest& out, std::string* why = nullptr);

}  // namespace kestrune
