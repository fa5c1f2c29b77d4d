#pragma once
// The record of saved images: which bytes were downloaded for which
// manifest entry. Written beside the images once every one of them was
// downloaded and checked; an offline run writes saved images only when the
// record vouches for the manifest it works from, entry by entry, and each
// saved image still has the recorded SHA-256.

#include <cstdint>
#include <string>
#include <vector>

#include "update/update_manifest.h"

namespace kestrune {

// Beside features.json and the data<sequence>.bin files.
inline constexpr char16_t kImageRecordFileName[] = u"images.json";

struct RecordedImage {
  std::int32_t sequence = 0;
  std::int32_t size = 0;
  std::int32_t address = 0;
  std::u16string filePath;
  std::string sha256;  // 64 lowercase hexadecimal digits
};

struct ImageRecord {
  std::string model;  // the watch model the manifest was asked for ("K1")
  std::u16string firmwareVersion;
  std::vector<RecordedImage> images;  // in the manifest's order
};

// The record for `manifest`'s entries with the digests in `sha256` (one
// per entry, in order).
ImageRecord RecordOf(const std::string& model, const UpdateManifest& manifest,
                     const std::vector<std::string>& sha256);

// The record as a small JSON document:
// {"model":"K1","firmware_version":"2.418","images":[{"sequence":1,
//  "size":8192,"address":32768,"file_path":"https://...","sha256":"..."}]}
std::string ImageRecordText(const ImageRecord& record);

// Reads a record's text. False with `why` when it is not one: no JSON
// object, a member missing or of another type, a digest that is not 64
// lowercase hexadecimal digits.
bool ParseImageRecord(const std::string& text, ImageRecord& out, std::string& why);

// Empty when `record` vouches for `manifest`'s images as `model`'s: the same
// model and firmware version, and the same entries in the same order (the
// sequence, size, address and URL of each). Otherwise the first difference,
// in words for the run log.
std::string ImageRecordMismatch(const ImageRecord& record, const UpdateManifest& manifest,
                                const std::string& model);

}  // namespace kestrune
