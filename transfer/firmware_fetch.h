#pragma once
// The fetch phase of an update: the manifest read, every image downloaded
// into the user data folder, checked against its size and held in memory.
// Done once, however many watches are then written from it.

#include <cstdint>
#include <string>
#include <vector>

#include "transfer/firmware_update.h"
#include "transfer/run_outcome.h"
#include "transfer/update_environment.h"
#include "update/downloader.h"
#include "update/file_contents.h"
#include "update/update_manifest.h"

namespace kestrune {

// The most image bytes a run holds, all images together; each image is
// bounded by its size in the manifest besides. A watch's flash is a small
// part of it: a manifest asking for more is refused before any download.
inline constexpr std::uint64_t kMaxFirmwareBytes = 64ull * 1024 * 1024;

// One image as the manifest lists it, the bytes that were checked and
// their SHA-256 (64 lowercase hexadecimal digits).
struct FetchedImage {
  FirmwareFileEntry entry;
  FileContents bytes;
  std::string sha256;
};

// Everything a watch is written from. Only read once fetched, so any number
// of writers may share one.
struct FetchedFirmware {
  std::u16string version;
  std::vector<FetchedImage> images;
  // Blocks of all images together, a short tail counting as one.
  std::uint32_t totalBlocks = 0;
  // From the service: the record of the images (images.json) was written
  // beside them.
  bool recorded = false;
};

// Reads the manifest text, posts "正在取得更新檔", sets the progress range to
// every block of every image, then downloads each image (bounded by
// `limits` and by its size in the manifest) into `folder` (empty: the user
// data folder) and keeps the body it received, and its SHA-256, in
// `firmware`: what is written is those bytes, never the file read again.
// Images come only over https: a manifest naming another scheme is refused
// before any download (kImageDownloadFailed), and so is one whose images
// together exceed kMaxFirmwareBytes (kImageWrongSize).
// From the service (kService), the record of the images is written into
// the folder once every image is in hand. From saved files (kSavedFiles)
// the record there must be this model's and match the manifest entry by
// entry, and each saved image must have the recorded SHA-256; otherwise
// kImageWrongSize, nothing read or nothing kept.
// kDone when every image is in hand; otherwise how it failed
// (kNoUpdateData, kImageDownloadFailed, kImageWrongSize), its cause noted
// and its status left to the caller. What the downloader raises passes
// through.
RunOutcome FetchFirmware(FirmwareUpdateReporter& reporter, const SharedManifestText& manifestText,
                         Downloader& downloader, const DownloadLimits& limits,
                         FetchedFirmware& firmware,
                         UpdateDataSource source = UpdateDataSource::kService,
                         const std::u16string& folder = {});

// The same with the downloader, bounds, source and folder of `environment`.
RunOutcome FetchFirmware(FirmwareUpdateReporter& reporter, const SharedManifestText& manifestText,
                         const UpdateEnvironment& environment, FetchedFirmware& firmware);

// "image 1 https://.../1-00008000.bin (size 8192, address 0x00008000)".
std::string DescribeImageEntry(const FirmwareFileEntry& entry);

// Blocks an image of `size` bytes takes; a tail shorter than a block is
// written as one more, zero-filled block.
std::uint32_t BlocksOfImage(std::int32_t size);

}  // namespace kestrune
