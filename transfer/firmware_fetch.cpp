#include "transfer/firmware_fetch.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "transfer/device_frame.h"
#include "update/text_conversion.h"
#include "update/update_check.h"
#include "update/user_data_folder.h"

namespace kestrune {
namespace {

constexpr std::uint32_t kImageBlockSize = static_cast<std::uint32_t>(kBlockSize);

std::uint32_t TotalBlocks(const std::vector<FirmwareFileEntry>& files) {
  std::uint64_t total = 0;
  for (const FirmwareFileEntry& entry : files) total += BlocksOfImage(entry.size);
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(total, UINT32_MAX));
}

// data<sequence>.bin in the user data folder, resolved anew per image;
// empty when there is no data folder (an image never lands at the root of
// the drive) or the path does not fit (it would name another file).
std::u16string ImagePath(std::int32_t sequence) {
  return UserDataFilePath(u"data" + Utf8ToWideText(std::to_string(sequence)) + u".bin");
}

// The image of `entry`, downloaded into the data folder and read back whole
// into `image`; what is written later is these bytes, whatever happens to
// the file meanwhile. kDone when it is in hand.
RunOutcome FetchImage(FirmwareUpdateReporter& reporter, const FirmwareFileEntry& entry,
                      Downloader& downloader, const DownloadLimits& downloadLimits,
                      FileContents& image) {
  const std::string what = DescribeImageEntry(entry);
  const std::u16string path = ImagePath(entry.sequence);
  if (path.empty()) {
    reporter.Note(what + ": no user data folder to download into");
    return RunOutcome::kImageDownloadFailed;
  }
  // A body longer than the entry's size can never be the image: the
  // download stops there instead of filling the disk.
  DownloadLimits limits = downloadLimits;
  limits.maxBytes = static_cast<std::uint64_t>(entry.size);
  const DownloadResult download = downloader.Download(entry.filePath, path, limits);
  reporter.Note(what + ": " + download.Describe());
  if (download.tooLarge) return RunOutcome::kImageWrongSize;
  if (!download.ok) return RunOutcome::kImageDownloadFailed;
  // The manifest rule admits no size below zero.
  image = ReadFileContents(path, static_cast<std::uint32_t>(entry.size));
  if (!image.WasRead()) {
    reporter.Note("image " + std::to_string(entry.sequence) + ": " + WideToUtf8Text(path) +
                  " does not hold the manifest's " + std::to_string(entry.size) + " bytes");
    return RunOutcome::kImageWrongSize;
  }
  return RunOutcome::kDone;
}

}  // namespace

std::uint32_t BlocksOfImage(std::int32_t size) {
  if (size <= 0) return 0;
  return (static_cast<std::uint32_t>(size) + kImageBlockSize - 1) / kImageBlockSize;
}

std::string DescribeImageEntry(const FirmwareFileEntry& entry) {
  char address[16];
  std::snprintf(address, sizeof address, "0x%08X", static_cast<unsigned>(entry.address));
  return "image " + std::to_string(entry.sequence) + " " + WideToUtf8Text(entry.filePath) +
         " (size " + std::to_string(entry.size) + ", address " + address + ")";
}

RunOutcome FetchFirmware(FirmwareUpdateReporter& reporter, const SharedManifestText& manifestText,
                         Downloader& downloader, const DownloadLimits& limits,
                         FetchedFirmware& firmware) {
  static const std::string kNoText;
  const std::string& text = manifestText ? *manifestText : kNoText;
  UpdateManifest manifest;
  if (!ParseUpdateManifest(text, manifest)) {
    reporter.Note("manifest text of " + std::to_string(text.size()) +
                  " bytes is not a usable manifest");
    return RunOutcome::kNoUpdateData;
  }
  reporter.PostStatus(kFetchingImages);
  firmware = FetchedFirmware{};
  firmware.version = manifest.firmwareVersion;
  firmware.totalBlocks = TotalBlocks(manifest.firmwareFiles);
  reporter.Note("firmware " + WideToUtf8Text(manifest.firmwareVersion) + ": " +
                std::to_string(manifest.firmwareFiles.size()) + " image(s), " +
                std::to_string(firmware.totalBlocks) + " blocks");
  reporter.SetProgressRange(firmware.totalBlocks);

  // Every image is in hand and checked before the first block: a failed
  // download of a later image must not leave a watch half-written.
  firmware.images.reserve(manifest.firmwareFiles.size());
  for (FirmwareFileEntry& entry : manifest.firmwareFiles) {
    FileContents image;
    const RunOutcome fetched = FetchImage(reporter, entry, downloader, limits, image);
    if (fetched != RunOutcome::kDone) return fetched;
    firmware.images.push_back(FetchedImage{std::move(entry), std::move(image)});
  }
  return RunOutcome::kDone;
}

}  // namespace kestrune
