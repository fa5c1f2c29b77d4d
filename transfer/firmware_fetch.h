#pragma once
// The fetch phase of an update: the manifest read, every image downloaded
// into the user data folder, checked against its size and held in memory.
// Done once, however many watches are then written from it.

#include <cstdint>
#include <string>
#include <vector>

#include "transfer/firmware_update.h"
#include "transfer/run_outcome.h"
#include "update/downloader.h"
#include "update/file_contents.h"
#include "update/update_manifest.h"

namespace kestrune {

// One image as the manifest lists it and the bytes that were checked.
struct FetchedImage {
  FirmwareFileEntry entry;
  FileContents bytes;
};

// Everything a watch is written from. Only read once fetched, so any number
// of writers may share one.
struct FetchedFirmware {
  std::u16string version;
  std::vector<FetchedImage> images;
  // Blocks of all images together, a short tail counting as one.
  std::uint32_t totalBlocks = 0;
};

// Reads the manifest text, posts "正在取得更新檔", sets the progress range to
// every block of every image, then downloads each image (bounded by
// `limits` and by its size in the manifest) and reads it back whole into
// `firmware`. kDone when every image is in hand; otherwise how it failed
// (kNoUpdateData, kImageDownloadFailed, kImageWrongSize), its cause noted
// and its status left to the caller. What the downloader raises passes
// through.
RunOutcome FetchFirmware(FirmwareUpdateReporter& reporter, const SharedManifestText& manifestText,
                         Downloader& downloader, const DownloadLimits& limits,
                         FetchedFirmware& firmware);

// "image 1 https://.../1-00008000.bin (size 8192, address 0x00008000)".
std::string DescribeImageEntry(const FirmwareFileEntry& entry);

// Blocks an image of `size` bytes takes; a tail shorter than a block is
// written as one more, zero-filled block.
std::uint32_t BlocksOfImage(std::int32_t size);

}  // namespace kestrune
