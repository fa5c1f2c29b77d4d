#include "transfer/firmware_fetch.h"

#include <boost/system/error_code.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include "transfer/device_frame.h"
#include "update/image_record.h"
#include "update/manifest_fetch.h"
#include "update/replace_file.h"
#include "update/sha256.h"
#include "update/text_conversion.h"
#include "update/update_check.h"
#include "update/update_service_url.h"
#include "update/utc_time.h"
#include "update/user_data_folder.h"

namespace kestrune {
namespace {

constexpr std::uint32_t kImageBlockSize = static_cast<std::uint32_t>(kBlockSize);

std::uint32_t TotalBlocks(const std::vector<FirmwareFileEntry>& files) {
  std::uint64_t total = 0;
  for (const FirmwareFileEntry& entry : files) total += BlocksOfImage(entry.size);
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(total, UINT32_MAX));
}

// data<sequence>.bin in the folder, the user data folder's resolved anew
// per image; empty when there is no data folder (an image never lands at
// the root of the drive) or the path does not fit (it would name another
// file).
std::u16string ImagePath(const std::u16string& folder, std::int32_t sequence) {
  return DataFilePath(folder, u"data" + Utf8ToWideText(std::to_string(sequence)) + u".bin");
}

// Only https keeps an image from being read or changed on its way; any
// other scheme (http, ftp, file, none) is refused, whatever the client
// would make of it.
bool IsHttpsUrl(const std::u16string& url) {
  static const char kScheme[] = "https://";
  const std::size_t length = std::strlen(kScheme);
  if (url.size() < length) return false;
  for (std::size_t i = 0; i < length; ++i) {
    char16_t c = url[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != static_cast<char16_t>(kScheme[i])) return false;
  }
  return true;
}

// The image of `entry`, downloaded into the folder; the body the download
// received (read back from its own file before that file took its place)
// is what `image` keeps, with its digest, so nothing that changes the
// saved file afterwards reaches the watch. kDone when it is in hand.
RunOutcome FetchImage(FirmwareUpdateReporter& reporter, const FirmwareFileEntry& entry,
                      Downloader& downloader, const DownloadLimits& downloadLimits,
                      const std::u16string& folder, FetchedImage& image, RunCause& cause,
                      bool& noAnswer) {
  const std::string what = DescribeImageEntry(entry);
  const std::u16string path = ImagePath(folder, entry.sequence);
  if (path.empty()) {
    reporter.Note(what + ": no user data folder to download into");
    return RunOutcome::kImageDownloadFailed;
  }
  // A body longer than the entry's size can never be the image: the
  // download stops there instead of filling the disk.
  DownloadLimits limits = downloadLimits;
  limits.maxBytes = static_cast<std::uint64_t>(entry.size);
  std::string wrongSize;
  limits.acceptBody = [&](const std::string& body) {
    // The manifest rule admits no size below zero.
    if (body.size() != static_cast<std::size_t>(entry.size)) {
      wrongSize = "image " + std::to_string(entry.sequence) + ": " + WideToUtf8Text(path) +
                  " does not hold the manifest's " + std::to_string(entry.size) + " bytes (" +
                  std::to_string(body.size()) + " bytes)";
      return false;
    }
    image.bytes.data.reset(new char[body.size()]);
    std::memcpy(image.bytes.data.get(), body.data(), body.size());
    image.bytes.size = static_cast<std::uint32_t>(body.size());
    image.sha256 = Sha256Hex(image.bytes.data.get(), image.bytes.size);
    return true;
  };
  const DownloadResult download = downloader.Download(entry.filePath, path, limits);
  reporter.Note(what + ": " + download.Describe());
  if (!wrongSize.empty()) {
    reporter.Note(wrongSize);
    return RunOutcome::kImageWrongSize;
  }
  if (download.tooLarge) return RunOutcome::kImageWrongSize;
  if (!download.ok) {
    if (download.systemError != 0 &&
        boost::system::error_code(download.systemError, boost::system::system_category()) ==
            boost::system::errc::no_space_on_device) {
      cause = {RunCauseKind::kNoSpace};
      cause.errnoValue = download.systemError;
      cause.path = WideToUtf8Text(std::filesystem::path(path).parent_path().u16string());
    }
    noAnswer = download.httpStatus == 0 && download.systemError == 0 && !download.fromSavedFile;
    return RunOutcome::kImageDownloadFailed;
  }
  if (!image.bytes.WasRead()) {
    reporter.Note("image " + std::to_string(entry.sequence) +
                  ": the download handed over no body to check");
    return RunOutcome::kImageDownloadFailed;
  }
  reporter.Note("image " + std::to_string(entry.sequence) + ": SHA-256 " + image.sha256);
  return RunOutcome::kDone;
}

// Before any download: only https, and the images together within the
// bound a run holds.
RunOutcome RefuseBeforeDownloading(FirmwareUpdateReporter& reporter,
                                   const UpdateManifest& manifest) {
  std::uint64_t total = 0;
  for (const FirmwareFileEntry& entry : manifest.firmwareFiles) {
    if (!IsHttpsUrl(entry.filePath)) {
      reporter.Note(DescribeImageEntry(entry) + ": not an https URL; images are fetched only " +
                    "over https, so none is fetched");
      return RunOutcome::kImageDownloadFailed;
    }
    total += static_cast<std::uint64_t>(entry.size);
  }
  if (total > kMaxFirmwareBytes) {
    reporter.Note("the manifest's images are " + std::to_string(total) +
                  " bytes together, more than the " + std::to_string(kMaxFirmwareBytes) +
                  " bytes a run holds; none is fetched");
    return RunOutcome::kImageWrongSize;
  }
  return RunOutcome::kDone;
}

// Offline: the record beside the saved images, which must vouch for the
// manifest's entries; kDone with it in `record`.
RunOutcome ReadRecordFor(FirmwareUpdateReporter& reporter, const UpdateManifest& manifest,
                         const std::u16string& folder, ImageRecord& record) {
  const std::u16string path = DataFilePath(folder, kImageRecordFileName);
  const std::string where = WideToUtf8Text(path);
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(std::filesystem::path(path), error);
  if (path.empty() || error) {
    reporter.Note("offline: no record of the saved images (" + where +
                  "): they cannot be told from other files of the same size; none is written");
    return RunOutcome::kImageWrongSize;
  }
  const FileContents text = size <= kManifestMaxBytes ? ReadFileContents(path) : FileContents{};
  std::string why =
      "cannot be read, or longer than " + std::to_string(kManifestMaxBytes) + " bytes";
  if (!text.WasRead() || !ParseImageRecord(text.Bytes(), record, why)) {
    reporter.Note("offline: " + where + " is no record of saved images (" + why +
                  "); none is written");
    return RunOutcome::kImageWrongSize;
  }
  const std::string mismatch = ImageRecordMismatch(record, manifest, kWatchModel);
  if (!mismatch.empty()) {
    reporter.Note("offline: the saved images are not the manifest's (" + mismatch + ", " + where +
                  "); none is written");
    return RunOutcome::kImageWrongSize;
  }
  reporter.Note("offline: " + where + " records the manifest's " +
                std::to_string(record.images.size()) + " image(s) for model " + record.model);
  return RunOutcome::kDone;
}

// From the service: the record of what was just fetched, in place in one
// step, so it never describes images half-replaced.
bool WriteRecord(FirmwareUpdateReporter& reporter, const UpdateManifest& manifest,
                 const FetchedFirmware& firmware, const std::u16string& folder) {
  std::vector<std::string> digests;
  for (const FetchedImage& image : firmware.images) digests.push_back(image.sha256);
  const std::u16string path = DataFilePath(folder, kImageRecordFileName);
  std::string error = "no data folder";
  if (path.empty() || !ReplaceFileContents(
                          path, ImageRecordText(RecordOf(kWatchModel, manifest, digests)), error)) {
    reporter.Note("record of the images " + WideToUtf8Text(path) + " not written: " + error +
                  "; an offline run will not write them");
    return false;
  }
  reporter.Note("record of " + std::to_string(digests.size()) + " image(s) written to " +
                WideToUtf8Text(path));
  return true;
}

// With the service out of reach: the date the images were saved, when the
// record in `folder` vouches for the manifest's images (an offline run
// would take them); empty otherwise.
std::string SavedImagesDate(const UpdateManifest& manifest, const std::u16string& folder) {
  const std::u16string path = DataFilePath(folder, kImageRecordFileName);
  if (path.empty()) return {};
  const FileContents text = ReadFileContents(path);
  ImageRecord record;
  std::string why;
  if (!text.WasRead() || text.size > kManifestMaxBytes ||
      !ParseImageRecord(text.Bytes(), record, why) ||
      !ImageRecordMismatch(record, manifest, kWatchModel).empty()) {
    return {};
  }
  std::error_code error;
  const auto written = std::filesystem::last_write_time(std::filesystem::path(path), error);
  if (error) return {};
  const auto when = std::chrono::system_clock::now() +
                    std::chrono::duration_cast<std::chrono::system_clock::duration>(
                        written - std::filesystem::file_time_type::clock::now());
  // "2026-12-11T07:30:02.125Z" -> "2026-12-11 07:30 UTC"
  const std::string iso = IsoUtcTime(when);
  return iso.substr(0, 10) + " " + iso.substr(11, 5) + " UTC";
}

// The cause a fetch that failed with `outcome` shows when nothing more
// particular was found.
RunCauseKind CauseOfFetchFailure(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::kNoUpdateData: return RunCauseKind::kNoUpdateData;
    case RunOutcome::kImageWrongSize: return RunCauseKind::kImageWrongSize;
    default: return RunCauseKind::kImageDownloadFailed;
  }
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

namespace {

RunOutcome FetchInOrder(FirmwareUpdateReporter& reporter, const SharedManifestText& manifestText,
                        Downloader& downloader, const DownloadLimits& limits,
                        FetchedFirmware& firmware, UpdateDataSource source,
                        const std::u16string& folder, RunCause& cause) {
  static const std::string kNoText;
  const std::string& text = manifestText ? *manifestText : kNoText;
  UpdateManifest manifest;
  std::string why;
  if (!ParseUpdateManifest(text, manifest, &why)) {
    reporter.Note("manifest text of " + std::to_string(text.size()) +
                  " bytes is not a usable manifest" + (why.empty() ? "" : ": " + why));
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
  const RunOutcome refused = RefuseBeforeDownloading(reporter, manifest);
  if (refused != RunOutcome::kDone) return refused;
  ImageRecord record;
  if (source == UpdateDataSource::kSavedFiles) {
    const RunOutcome vouched = ReadRecordFor(reporter, manifest, folder, record);
    if (vouched != RunOutcome::kDone) return vouched;
  }

  // Every image is in hand and checked before the first block: a failed
  // download of a later image must not leave a watch half-written.
  firmware.images.reserve(manifest.firmwareFiles.size());
  for (std::size_t i = 0; i < manifest.firmwareFiles.size(); ++i) {
    FetchedImage image{manifest.firmwareFiles[i], {}, {}};
    bool noAnswer = false;
    const RunOutcome fetched =
        FetchImage(reporter, image.entry, downloader, limits, folder, image, cause, noAnswer);
    if (fetched != RunOutcome::kDone) {
      if (noAnswer && source == UpdateDataSource::kService) {
        const std::string date = SavedImagesDate(manifest, folder);
        if (!date.empty()) {
          cause = {RunCauseKind::kServiceUnreachableSavedImages};
          cause.date = date;
        }
      }
      return fetched;
    }
    if (source == UpdateDataSource::kSavedFiles && image.sha256 != record.images[i].sha256) {
      reporter.Note("image " + std::to_string(image.entry.sequence) + ": " +
                    WideToUtf8Text(ImagePath(folder, image.entry.sequence)) + " has SHA-256 " +
                    image.sha256 + ", the record says " + record.images[i].sha256 +
                    ": changed since it was downloaded; none is written");
      firmware.images.clear();
      return RunOutcome::kImageWrongSize;
    }
    firmware.images.push_back(std::move(image));
  }
  if (source == UpdateDataSource::kService) {
    firmware.recorded = WriteRecord(reporter, manifest, firmware, folder);
  }
  return RunOutcome::kDone;
}

}  // namespace

RunOutcome FetchFirmware(FirmwareUpdateReporter& reporter, const SharedManifestText& manifestText,
                         Downloader& downloader, const DownloadLimits& limits,
                         FetchedFirmware& firmware, UpdateDataSource source,
                         const std::u16string& folder) {
  RunCause cause;
  const RunOutcome outcome =
      FetchInOrder(reporter, manifestText, downloader, limits, firmware, source, folder, cause);
  if (outcome != RunOutcome::kDone) {
    if (!cause.Known()) cause.kind = CauseOfFetchFailure(outcome);
    reporter.SetCause(cause);
  }
  return outcome;
}

RunOutcome FetchFirmware(FirmwareUpdateReporter& reporter, const SharedManifestText& manifestText,
                         const UpdateEnvironment& environment, FetchedFirmware& firmware) {
  return FetchFirmware(reporter, manifestText, environment.downloader, environment.downloadLimits,
                       firmware, environment.source, environment.dataFolder);
}

}  // namespace kestrune
