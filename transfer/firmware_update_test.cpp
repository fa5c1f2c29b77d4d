// Whole firmware updates against real pieces: the simulated watch on a pty,
// found through a sysfs-shaped tree whose watch tty is that pty, images
// served over HTTPS by the reference update service and fetched by libcurl
// trusting the test CA, and the user data folder under a temporary HOME.
#include "transfer/firmware_update.h"

#include <stdlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <future>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "device/sysfs_serial_devices.h"
#include "history/history_database.h"
#include "history/history_writer.h"
#include "testing/child_program.h"
#include "testing/held_port.h"
#include "testing/random_image.h"
#include "testing/recording_firmware_update_reporter.h"
#include "testing/sysfs_tree.h"
#include "testing/temp_folder.h"
#include "testing/temp_home.h"
#include "testing/whole_file.h"
#include "tools/dive_watch_sim/dive_watch_sim.h"
#include "tools/update_service/reference_update_service.h"
#include "transfer/close_gate.h"
#include "transfer/device_frame.h"
#include "transfer/firmware_fetch.h"
#include "transfer/logged_firmware_update_reporter.h"
#include "update/curl_downloader.h"
#include "update/image_record.h"
#include "update/run_log.h"
#include "update/sha256.h"
#include "update/text_conversion.h"
#include "update/update_check.h"

namespace kestrune {
namespace {
using namespace testing_support;
namespace fs = std::filesystem;
using Kind = RecordingFirmwareUpdateReporter::Kind;

constexpr std::chrono::milliseconds kAnswerTimeout{2000};
// A download that receives nothing for this long fails (60 s in the program).
constexpr std::chrono::milliseconds kStallTimeout{3000};

// One image the service serves and the manifest lists.
struct ServedImage {
  std::uint32_t address;
  std::int32_t sequence;
  std::size_t size;
  // Added to the size the manifest states (the served file keeps `size`).
  std::int32_t manifestSizeDelta = 0;
  // Where the manifest points instead of the image: a fault of the service.
  std::string faultPath;
  // The manifest names the image on the service's plain HTTP listener,
  // which serves the same files.
  bool plainHttp = false;
  // The manifest names this URL for the image instead.
  std::string url;

  ServedImage StatedSizeOffBy(std::int32_t delta) const {
    ServedImage image = *this;
    image.manifestSizeDelta = delta;
    return image;
  }
  ServedImage Missing() const { return ServedAt("/fault/404"); }
  // Half the image, then nothing more for as long as the service runs.
  ServedImage Stalling() const { return ServedAt("/fault/stall/" + std::to_string(size)); }
  ServedImage ServedAt(std::string path) const {
    ServedImage image = *this;
    image.faultPath = std::move(path);
    return image;
  }
  ServedImage OverPlainHttp() const {
    ServedImage image = *this;
    image.plainHttp = true;
    return image;
  }
  ServedImage NamedAt(std::string otherUrl) const {
    ServedImage image = *this;
    image.url = std::move(otherUrl);
    return image;
  }
};

// `size` bytes written at `address`, listed with `sequence`.
ServedImage Image(std::uint32_t address, std::int32_t sequence, std::size_t size) {
  return ServedImage{address, sequence, size, 0, {}, false, {}};
}

std::string ManifestFor(const std::vector<ServedImage>& images, const std::string& baseUrl,
                        const std::string& plainBaseUrl = {}) {
  std::string files;
  for (const ServedImage& image : images) {
    if (!files.empty()) files += ",";
    char name[64];
    std::snprintf(name, sizeof name, "/files/%d-%08x.bin", image.sequence, image.address);
    const std::string path = image.faultPath.empty() ? name : image.faultPath;
    const std::string url = !image.url.empty() ? image.url
                            : image.plainHttp  ? plainBaseUrl + path
                                               : baseUrl + path;
    files += "{\"size\":" +
             std::to_string(static_cast<std::int64_t>(image.size) + image.manifestSizeDelta) +
             ",\"sequence\":" + std::to_string(image.sequence) + ",\"file_path\":\"" + url +
             "\",\"address\":" + std::to_string(static_cast<std::int32_t>(image.address)) + "}";
  }
  return "{\"response\":{\"firmware_version\":\"1.006\",\"release_note\":\"Faster dive log sync.\\n"
         "潛水紀錄同步更快。\\nThe battery gauge is steadier during long dives, the compass is "
         "calibrated once per dive, and the logbook keeps the last 200 "
         "dives.\",\"firmware_files\":[" +
         files + "]}}";
}

// A manifest with no firmware_files member at all, padded to `length` bytes.
std::string ManifestWithoutFiles(std::size_t length) {
  const std::string head = "{\"response\":{\"firmware_version\":\"1.006\",\"release_note\":\"";
  const std::string tail = "\"}}";
  return head + std::string(length - head.size() - tail.size(), 'x') + tail;
}

// Which block of which image: (image, block).
using BlockOfImage = std::pair<std::size_t, std::size_t>;

// One step of the read-back pass on the wire: a block's read request, or
// the block written once more.
struct ReadBackStep {
  bool rewrite;
  BlockOfImage block;
};
ReadBackStep Read(std::size_t image, std::size_t block) { return {false, {image, block}}; }
ReadBackStep Rewrite(std::size_t image, std::size_t block) { return {true, {image, block}}; }
// The first bytes of an image: (image, length).
using StartOfImage = std::pair<std::size_t, std::size_t>;

// One run: its set-up, then what the user, the wire, the watch and the data
// folder show afterwards. What a case does not name is expected not to
// happen: no progress range, no block, no finish frame, no download.
struct Case {
  explicit Case(const char* caseName) : name(caseName) {}

  Case& WithoutWatch() {
    watchConnected = false;
    return *this;
  }
  Case& PortHeldByAnotherProgram() {
    portHeld = true;
    return *this;
  }
  // Another process has the port open, without a lock (as `cat` has).
  Case& PortOpenInAnotherProcess() {
    portOpenElsewhere = true;
    return *this;
  }
  Case& Watch(DiveWatchFaults watchFaults) {
    faults = watchFaults;
    return *this;
  }
  Case& Serving(std::vector<ServedImage> served) {
    images = std::move(served);
    return *this;
  }
  // The run reads this manifest instead of one listing the served images.
  Case& WithManifest(std::string text) {
    manifest = std::move(text);
    return *this;
  }

  Case& Shows(std::vector<std::u16string> texts) {
    statuses = std::move(texts);
    return *this;
  }
  // How the run says it ended.
  Case& Ends(RunOutcome how) {
    outcome = how;
    return *this;
  }
  Case& ProgressRange(std::uint32_t maximum) {
    range = maximum;
    return *this;
  }
  Case& ProgressPositions(std::vector<std::uint32_t> values) {
    positions = std::move(values);
    return *this;
  }
  // Every block sent, in order, each as its data frames and commit frame.
  Case& SendsBlocks(std::vector<BlockOfImage> sent) {
    blocks = std::move(sent);
    return *this;
  }
  // Data frames of the block after the last one sent that the watch took
  // before hanging up.
  Case& ThenDataFramesOfTheNextBlock(std::size_t count) {
    trailingDataFrames = count;
    return *this;
  }
  // The run reads its written blocks back.
  Case& Verifying() {
    verify = true;
    return *this;
  }
  // The read-back pass, announced for `blocks` blocks, then these steps on
  // the wire after the blocks sent.
  Case& ReadsBack(std::uint32_t blocks, std::vector<ReadBackStep> steps) {
    readBackAnnounced = blocks;
    readBack = std::move(steps);
    return *this;
  }
  Case& SendsFinish() {
    finish = true;
    return *this;
  }
  // What the watch's memory holds afterwards, region by region.
  Case& WatchHolds(std::vector<StartOfImage> regions) {
    memory = std::move(regions);
    return *this;
  }
  // The watch holds the byte at `address` inverted (a block it corrupted).
  Case& WithByteInverted(std::uint32_t address) {
    invertedByte = address;
    return *this;
  }
  // How many images, from the first, end up in the data folder.
  Case& Downloads(std::size_t count) {
    downloaded = count;
    return *this;
  }
  // The watch is pulled from the cable once block `block` (counted from 1)
  // is answered, before the finish frame goes out.
  Case& UnpluggedAfterBlock(std::uint32_t block) {
    unplugAfterBlock = block;
    return *this;
  }
  // The host's drain of the finish frame lasts until the watch has left the
  // line, as a real line's drain can outlast a watch that restarts at once
  // (a pty's drain ends the moment the frame is written).
  Case& DrainOutlastsTheWatch() {
    drainOutlastsWatch = true;
    return *this;
  }
  // What the run log says of the cause, besides the statuses.
  Case& Logs(std::vector<std::string> lines) {
    logged = std::move(lines);
    return *this;
  }

  const char* name;
  bool watchConnected = true;
  bool portHeld = false;
  bool portOpenElsewhere = false;
  DiveWatchFaults faults;
  std::vector<ServedImage> images;
  std::optional<std::string> manifest;
  bool verify = false;

  std::vector<std::u16string> statuses;
  RunOutcome outcome = RunOutcome::kFailure;
  std::optional<std::uint32_t> range;  // absent: the range is never set
  std::vector<std::uint32_t> positions;
  std::vector<BlockOfImage> blocks;
  std::size_t trailingDataFrames = 0;
  std::optional<std::uint32_t> readBackAnnounced;  // absent: no read-back pass
  std::vector<ReadBackStep> readBack;
  bool finish = false;
  std::vector<StartOfImage> memory;
  std::optional<std::uint32_t> invertedByte;
  std::size_t downloaded = 0;
  std::vector<std::string> logged;
  std::optional<std::uint32_t> unplugAfterBlock;
  bool drainOutlastsWatch = false;
};

constexpr std::uint32_t kA = 0x00008000;
constexpr std::uint32_t kB = 0x00100000;

std::vector<Case> Cases() {
  const std::vector<ServedImage> twoImages = {Image(kA, 1, 8192), Image(kB, 2, 4096)};
  return {
      Case("NoWatch")
          .WithoutWatch()
          .Serving(twoImages)
          .Shows({kConnectWatch})
          .Ends(RunOutcome::kNoWatch)
          .Logs({"discovery: no serial port device present"}),
      Case("PortHeldByAnotherProgram")
          .PortHeldByAnotherProgram()
          .Serving(twoImages)
          .Shows({kPortUnavailable})
          .Ends(RunOutcome::kPortUnavailable)
          .Logs({"discovery: USB\\VID_1915&PID_52F0&MI_00\\1-1:1.0, parent "
                 "USB\\VID_1915&PID_52F0\\1-1, port /dev/pts/",
                 ": port busy", "port: open error 11 (Resource temporarily unavailable)"}),
      // Discovery's probe opens it, but the watch's answers would go to the
      // other program too: the port is let go at once, nothing is fetched
      // or written, and the log names the program.
      Case("PortOpenInAnotherProcess")
          .PortOpenInAnotherProcess()
          .Serving(twoImages)
          .Shows({kPortUnavailable})
          .Ends(RunOutcome::kPortUnavailable)
          .Logs({": picked", " is open in another program: pid ", " (sleep); nothing written"}),
      Case("Manifest256Bytes")
          .WithManifest(ManifestWithoutFiles(256))
          .Shows({kNoUpdateData})
          .Ends(RunOutcome::kNoUpdateData)
          .Logs({"manifest text of 256 bytes is not a usable manifest"}),
      Case("Manifest257BytesWithoutFiles")
          .WithManifest(ManifestWithoutFiles(257))
          .Shows({kFetchingImages, kUpdateDone})
          .Ends(RunOutcome::kDone)
          .ProgressRange(0)
          .SendsFinish(),
      Case("EmptyFileList")
          .Shows({kFetchingImages, kUpdateDone})
          .Ends(RunOutcome::kDone)
          .ProgressRange(0)
          .SendsFinish(),
      Case("InvalidManifest")
          .WithManifest("{\"response\":{\"firmware_version\":\"1.006\",\"release_note\":\"notes\","
                        "\"firmware_files\":[{\"size\":\"8192\",\"sequence\":1,"
                        "\"file_path\":\"https://localhost/x\",\"address\":0}]},"
                        "\"padding\":\"" +
                        std::string(200, 'p') + "\"}")
          .Shows({kNoUpdateData})
          .Ends(RunOutcome::kNoUpdateData)
          .Logs({"bytes is not a usable manifest"}),
      Case("TwoImages")
          .Serving(twoImages)
          .Shows({kFetchingImages, kWritingImage, kWritingImage, kUpdateDone})
          .Ends(RunOutcome::kDone)
          .ProgressRange(3)
          .ProgressPositions({1, 2, 3})
          .SendsBlocks({{0, 0}, {0, 1}, {1, 0}})
          .SendsFinish()
          .WatchHolds({{0, 8192}, {1, 4096}})
          .Downloads(2)
          .Logs({": picked", "firmware 1.006: 2 image(s), 3 blocks", "image 1 https://localhost:",
                 "/files/1-00008000.bin (size 8192, address 0x00008000): HTTP 200, 8192 bytes",
                 "done: 3 blocks written, 15520 bytes sent and 120 received on the line, "}),
      // Every image is fetched and checked before the first block: a later
      // image that fails leaves the watch untouched.
      Case("SecondDownloadFails")
          .Serving({Image(kA, 1, 8192), Image(kB, 2, 4096).Missing()})
          .Shows({kFetchingImages, kImageDownloadFailed})
          .Ends(RunOutcome::kImageDownloadFailed)
          .ProgressRange(3)
          .Downloads(1)
          .Logs({"/fault/404 (size 4096, address 0x00100000): HTTP 404"}),
      Case("SecondImageCut")
          .Serving({Image(kA, 1, 8192), Image(kB, 2, 4096).ServedAt("/fault/cut/4096")})
          .Shows({kFetchingImages, kImageDownloadFailed})
          .Ends(RunOutcome::kImageDownloadFailed)
          .ProgressRange(3)
          .Downloads(1)
          .Logs({"/fault/cut/4096 (size 4096, address 0x00100000): "}),
      Case("SecondImageOneByteLonger")
          .Serving({Image(kA, 1, 8192), Image(kB, 2, 4097).StatedSizeOffBy(-1)})
          .Shows({kFetchingImages, kImageWrongSize})
          .Ends(RunOutcome::kImageWrongSize)
          .ProgressRange(3)
          .Downloads(1)
          .Logs({"(size 4096, address 0x00100000): HTTP 200", "body longer than 4096 bytes"}),
      // A short body is not the image: it does not replace the saved file.
      Case("SecondImageShorter")
          .Serving({Image(kA, 1, 8192), Image(kB, 2, 4095).StatedSizeOffBy(1)})
          .Shows({kFetchingImages, kImageWrongSize})
          .Ends(RunOutcome::kImageWrongSize)
          .ProgressRange(3)
          .Downloads(1)
          .Logs({"data2.bin does not hold the manifest's 4096 bytes"}),
      // 524,288 blocks: a 16-bit range would show 0. More than a run holds.
      Case("RangeBeyond16Bits")
          .Serving({Image(kA, 1, 0x7FFFFFFF).Missing()})
          .Shows({kFetchingImages, kImageWrongSize})
          .Ends(RunOutcome::kImageWrongSize)
          .ProgressRange(524288)
          .Logs({"the manifest's images are 2147483647 bytes together, more than the 67108864 "
                 "bytes a run holds; none is fetched"}),
      // The bound is on all images together, each within it: refused
      // before the first one is asked for (which would fail otherwise).
      Case("ImagesTogetherOverTheBound")
          .Serving({Image(kA, 1, kMaxFirmwareBytes / 2).Missing(),
                    Image(kB, 2, kMaxFirmwareBytes / 2 + 1).Missing()})
          .Shows({kFetchingImages, kImageWrongSize})
          .Ends(RunOutcome::kImageWrongSize)
          .ProgressRange(16385)
          .Logs({"the manifest's images are 67108865 bytes together, more than the 67108864"}),
      Case("ImagesTogetherJustWithinTheBound")
          .Serving({Image(kA, 1, kMaxFirmwareBytes / 2).Missing(),
                    Image(kB, 2, kMaxFirmwareBytes / 2).Missing()})
          .Shows({kFetchingImages, kImageDownloadFailed})
          .Ends(RunOutcome::kImageDownloadFailed)
          .ProgressRange(16384)
          .Logs({"/fault/404 (size 33554432, address 0x00008000): HTTP 404"}),
      // Images come over https only: a manifest naming any other scheme
      // is refused before the first download, the https ones included.
      Case("ImageOverPlainHttp")
          .Serving({Image(kA, 1, 8192), Image(kB, 2, 4096).OverPlainHttp()})
          .Shows({kFetchingImages, kImageDownloadFailed})
          .Ends(RunOutcome::kImageDownloadFailed)
          .ProgressRange(3)
          .Logs({"image 2 http://localhost:",
                 "(size 4096, address 0x00100000): not an https URL; "
                 "images are fetched only over https, so none is fetched"}),
      Case("ImageOverAnotherScheme")
          .Serving({Image(kA, 1, 4096).NamedAt("file:///etc/hostname")})
          .Shows({kFetchingImages, kImageDownloadFailed})
          .Ends(RunOutcome::kImageDownloadFailed)
          .ProgressRange(1)
          .Logs({"image 1 file:///etc/hostname (size 4096, address 0x00008000): not an https URL"}),
      Case("ImageWithoutScheme")
          .Serving({Image(kA, 1, 4096).NamedAt("localhost:8443/files/1-00008000.bin")})
          .Shows({kFetchingImages, kImageDownloadFailed})
          .Ends(RunOutcome::kImageDownloadFailed)
          .ProgressRange(1)
          .Logs({"not an https URL"}),
      // Each image is saved as data<sequence>.bin: two sharing a number
      // would be one file standing for both.
      Case("SequenceShared")
          .Serving({Image(kA, 1, 4096), Image(kB, 1, 4096)})
          .Shows({kNoUpdateData})
          .Ends(RunOutcome::kNoUpdateData)
          .Logs({"is not a usable manifest: two images share sequence 1"}),
      // A size below zero anywhere makes the manifest unusable before any
      // image is fetched or written.
      Case("SecondEntrySizeBelowZero")
          .Serving({Image(kA, 1, 4096), Image(kB, 2, 4096).StatedSizeOffBy(-8192)})
          .Shows({kNoUpdateData})
          .Ends(RunOutcome::kNoUpdateData),
      // The download stops once past the stated size: nothing is stored.
      Case("ImageOneByteLongerThanItsSize")
          .Serving({Image(kA, 1, 4097).StatedSizeOffBy(-1)})
          .Shows({kFetchingImages, kImageWrongSize})
          .Ends(RunOutcome::kImageWrongSize)
          .ProgressRange(1)
          .Logs({"(size 4096, address 0x00008000): HTTP 200", "body longer than 4096 bytes"}),
      Case("ImageShorterThanItsSize")
          .Serving({Image(kA, 1, 4095).StatedSizeOffBy(1)})
          .Shows({kFetchingImages, kImageWrongSize})
          .Ends(RunOutcome::kImageWrongSize)
          .ProgressRange(1)
          .Logs({"data1.bin does not hold the manifest's 4096 bytes"}),
      // The image download is bounded like the manifest's (shortened here).
      Case("ImageDownloadStalls")
          .Serving({Image(kA, 1, 8192), Image(kB, 2, 40000).Stalling()})
          .Shows({kFetchingImages, kImageDownloadFailed})
          .Ends(RunOutcome::kImageDownloadFailed)
          .ProgressRange(12)
          .Downloads(1)
          .Logs({"/fault/stall/40000 (size 40000, address 0x00100000): HTTP 200",
                 "no data for 3000 ms"}),
      Case("TailShorterThanABlock")
          .Serving({Image(kA, 1, 5000)})
          .Shows({kFetchingImages, kWritingImage, kUpdateDone})
          .Ends(RunOutcome::kDone)
          .ProgressRange(2)
          .ProgressPositions({1, 2})
          .SendsBlocks({{0, 0}, {0, 1}})
          .SendsFinish()
          .WatchHolds({{0, 5000}})
          .Downloads(1),
      Case("RefusedBlock")
          .Watch(DiveWatchFaults::Refuse(1))
          .Serving(twoImages)
          .Shows({kFetchingImages, kWritingImage, kUpdateFailed})
          .Ends(RunOutcome::kBlockRefused)
          .ProgressRange(3)
          .ProgressPositions({1})
          .SendsBlocks({{0, 0}, {0, 1}})
          .WatchHolds({{0, 4096}})
          .Downloads(2)
          .Logs({"block 2 (image 1 block 2) at 0x00009000: refused by the watch"}),
      // A late answer left on the line before the port opened is no answer
      // to block 1: read as one, every answer would shift by a block and the
      // refused last block would pass.
      Case("StaleAnswerOnTheLine")
          .Watch(DiveWatchFaults::StaleAnswerThenRefuse(2))
          .Serving(twoImages)
          .Shows({kFetchingImages, kWritingImage, kWritingImage, kUpdateFailed})
          .Ends(RunOutcome::kBlockRefused)
          .ProgressRange(3)
          .ProgressPositions({1, 2})
          .SendsBlocks({{0, 0}, {0, 1}, {1, 0}})
          .WatchHolds({{0, 8192}})
          .Downloads(2)
          .Logs({"block 3 (image 2 block 1) at 0x00100000: refused by the watch"}),
      Case("SilentWatch")
          .Watch(DiveWatchFaults::SilentFrom(1))
          .Serving(twoImages)
          .Shows({kFetchingImages, kWritingImage, kWatchSilent})
          .Ends(RunOutcome::kWatchSilent)
          .ProgressRange(3)
          .ProgressPositions({1})
          .SendsBlocks({{0, 0}, {0, 1}})
          .WatchHolds({{0, 4096}})
          .Downloads(2)
          .Logs({"block 2 (image 1 block 2) at 0x00009000: read error 110 (timed out)"}),
      // The host's frames fill the line, then the wait for room or answer
      // ends; the pty takes them all, so the answer's wait is what times out.
      Case("WatchStopsReading")
          .Watch(DiveWatchFaults::StopReadingAfter(1))
          .Serving(twoImages)
          .Shows({kFetchingImages, kWritingImage, kWatchSilent})
          .Ends(RunOutcome::kWatchSilent)
          .ProgressRange(3)
          .ProgressPositions({1})
          .SendsBlocks({{0, 0}})
          .WatchHolds({{0, 4096}})
          .Downloads(2)
          .Logs({"block 2 (image 1 block 2) at 0x00009000: read error 110"}),
      Case("WatchHangsUpMidBlock")
          .Watch(DiveWatchFaults::HangUpIn(1, 40))
          .Serving(twoImages)
          .Shows({kFetchingImages, kWritingImage, kUpdateFailed})
          .Ends(RunOutcome::kLinkFailed)
          .ProgressRange(3)
          .ProgressPositions({1})
          .SendsBlocks({{0, 0}})
          .ThenDataFramesOfTheNextBlock(40)
          .WatchHolds({{0, 4096}})
          .Downloads(2)
          .Logs({"block 2 (image 1 block 2) at 0x00009000: "}),
      // A watch restarts into its new firmware on the finish frame and
      // drops off the bus: once the frame is on the line whole, that is the
      // update done (reported failed, a station would write it again).
      Case("WatchLeavesTheLineAfterItsFinishFrame")
          .Watch(DiveWatchFaults::HangUpAfterFinish())
          .DrainOutlastsTheWatch()
          .Serving(twoImages)
          .Shows({kFetchingImages, kWritingImage, kWritingImage, kUpdateDone})
          .Ends(RunOutcome::kDone)
          .ProgressRange(3)
          .ProgressPositions({1, 2, 3})
          .SendsBlocks({{0, 0}, {0, 1}, {1, 0}})
          .SendsFinish()
          .WatchHolds({{0, 8192}, {1, 4096}})
          .Downloads(2)
          .Logs({"finish frame handed to the line",
                 "the watch left the line after its finish frame (write error 5 (Input/output "
                 "error))",
                 "done: 3 blocks written, "}),
      // Gone before the finish frame was on the line: still a failure, the
      // line's own.
      Case("WatchUnpluggedBeforeItsFinishFrame")
          .UnpluggedAfterBlock(3)
          .Serving(twoImages)
          .Shows({kFetchingImages, kWritingImage, kWritingImage, kUpdateFailed})
          .Ends(RunOutcome::kLinkFailed)
          .ProgressRange(3)
          .ProgressPositions({1, 2, 3})
          .SendsBlocks({{0, 0}, {0, 1}, {1, 0}})
          .WatchHolds({{0, 8192}, {1, 4096}})
          .Downloads(2)
          .Logs({"finish frame: write error 5 (Input/output error)"}),
      // Read-back: off unless asked for, so a block the watch stored
      // changed goes unnoticed.
      Case("CorruptedBlockWithoutVerifying")
          .Watch(DiveWatchFaults::CorruptAlways(kA + 0x1000))
          .Serving(twoImages)
          .Shows({kFetchingImages, kWritingImage, kWritingImage, kUpdateDone})
          .Ends(RunOutcome::kDone)
          .ProgressRange(3)
          .ProgressPositions({1, 2, 3})
          .SendsBlocks({{0, 0}, {0, 1}, {1, 0}})
          .SendsFinish()
          .WatchHolds({{0, 8192}, {1, 4096}})
          .WithByteInverted(kA + 0x1000 + 2048)
          .Downloads(2),
      Case("VerifiedBlocksReadBackUnchanged")
          .Verifying()
          .Serving({Image(kA, 1, 8192), Image(kB, 2, 100)})
          .Shows({kFetchingImages, kWritingImage, kWritingImage, kUpdateDone})
          .Ends(RunOutcome::kDone)
          .ProgressRange(3)
          .ProgressPositions({1, 2, 3})
          .SendsBlocks({{0, 0}, {0, 1}, {1, 0}})
          .ReadsBack(3, {Read(0, 0), Read(0, 1), Read(1, 0)})
          .SendsFinish()
          .WatchHolds({{0, 8192}, {1, 100}})
          .Downloads(2)
          .Logs({"verify: reading back 3 written blocks",
                 "verify: 3 blocks read back, 0 written once more; 120 bytes sent and 15480 "
                 "received on the line",
                 "done: 3 blocks written, "}),
      Case("VerifyRewritesABlockStoredChangedOnce")
          .Verifying()
          .Watch(DiveWatchFaults::CorruptOnce(kA + 0x1000))
          .Serving(twoImages)
          .Shows({kFetchingImages, kWritingImage, kWritingImage, kUpdateDone})
          .Ends(RunOutcome::kDone)
          .ProgressRange(3)
          .ProgressPositions({1, 2, 3})
          .SendsBlocks({{0, 0}, {0, 1}, {1, 0}})
          .ReadsBack(3, {Read(0, 0), Read(0, 1), Rewrite(0, 1), Read(0, 1), Read(1, 0)})
          .SendsFinish()
          .WatchHolds({{0, 8192}, {1, 4096}})
          .Downloads(2)
          .Logs({"block 2 (image 1 block 2) at 0x00009000: read back differs from the image at "
                 "byte 2048; writing it once more",
                 "block 2 (image 1 block 2) at 0x00009000: written once more, now reads back as "
                 "the image",
                 "verify: 3 blocks read back, 1 written once more; "}),
      Case("VerifyFailsOnABlockAlwaysStoredChanged")
          .Verifying()
          .Watch(DiveWatchFaults::CorruptAlways(kA + 0x1000))
          .Serving(twoImages)
          .Shows({kFetchingImages, kWritingImage, kWritingImage, kUpdateFailed})
          .Ends(RunOutcome::kBlockRefused)
          .ProgressRange(3)
          .ProgressPositions({1, 2, 3})
          .SendsBlocks({{0, 0}, {0, 1}, {1, 0}})
          .ReadsBack(3, {Read(0, 0), Read(0, 1), Rewrite(0, 1), Read(0, 1)})
          .WatchHolds({{0, 8192}, {1, 4096}})
          .WithByteInverted(kA + 0x1000 + 2048)
          .Downloads(2)
          .Logs({"block 2 (image 1 block 2) at 0x00009000: read back differs from the image at "
                 "byte 2048; writing it once more",
                 "block 2 (image 1 block 2) at 0x00009000: still differs from the image at byte "
                 "2048 after writing it once more"}),
      // A read the watch's own checksum disagrees with leaves the line out
      // of step: the run stops there.
      Case("VerifyStopsOnAnUnsoundRead")
          .Verifying()
          .Watch([] {
            DiveWatchFaults f;
            f.readWrongChecksum = true;
            return f;
          }())
          .Serving(twoImages)
          .Shows({kFetchingImages, kWritingImage, kWritingImage, kUpdateFailed})
          .Ends(RunOutcome::kBlockRefused)
          .ProgressRange(3)
          .ProgressPositions({1, 2, 3})
          .SendsBlocks({{0, 0}, {0, 1}, {1, 0}})
          .ReadsBack(3, {Read(0, 0)})
          .WatchHolds({{0, 8192}, {1, 4096}})
          .Downloads(2)
          .Logs({"block 1 (image 1 block 1) at 0x00008000: reading back failed: the watch's "
                 "frames were out of order or did not match its checksum"}),
      Case("WatchSilentDuringReadBack")
          .Verifying()
          .Watch(DiveWatchFaults::StopReadingAfter(3))
          .Serving(twoImages)
          .Shows({kFetchingImages, kWritingImage, kWritingImage, kWatchSilent})
          .Ends(RunOutcome::kWatchSilent)
          .ProgressRange(3)
          .ProgressPositions({1, 2, 3})
          .SendsBlocks({{0, 0}, {0, 1}, {1, 0}})
          .ReadsBack(3, {})
          .WatchHolds({{0, 8192}, {1, 4096}})
          .Downloads(2)
          .Logs({"block 1 (image 1 block 1) at 0x00008000 reading back: read error 110"}),
  };
}

// The block that image bytes [4096 * block, ...) make, zero-filled.
Bytes BlockOf(const Bytes& image, std::size_t block) {
  Bytes bytes(kBlockSize, 0);
  const std::size_t offset = block * kBlockSize;
  const std::size_t length = std::min(kBlockSize, image.size() - offset);
  std::copy(image.begin() + offset, image.begin() + offset + length, bytes.begin());
  return bytes;
}

// Checks that `frames` from `at` on are the 128 data frames of `block`.
void ExpectDataFrames(const std::vector<DeviceFrame>& frames, std::size_t at, const Bytes& block,
                      std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const DeviceFrame& frame = frames[at + i];
    ASSERT_TRUE(frame.Is(FrameCommand::Data)) << "frame " << at + i;
    EXPECT_EQ(frame.PayloadSize(), kChunkSize);
    EXPECT_EQ(frame.Index(), i);
    EXPECT_TRUE(std::equal(block.begin() + i * kChunkSize, block.begin() + (i + 1) * kChunkSize,
                           frame.Payload()))
        << "chunk " << i << " of frame " << at + i;
  }
}

// Passes every call on to `inner`, and stands in for moments of a real line
// that a pty does not have: the watch unplugged after a given block's
// answer, or the finish frame's drain lasting until the watch has left.
class LineMomentsReporter : public FirmwareUpdateReporter {
 public:
  LineMomentsReporter(FirmwareUpdateReporter& inner, DiveWatchSim& watch, const Case& c)
      : inner_(inner), watch_(watch), case_(c) {}
  void PostStatus(const std::u16string& text) override { inner_.PostStatus(text); }
  void SetProgressRange(std::uint32_t maximum) override { inner_.SetProgressRange(maximum); }
  void SetProgressPosition(std::uint32_t position) override {
    inner_.SetProgressPosition(position);
    if (case_.unplugAfterBlock == position) watch_.HangUp();
  }
  void SetWriting(bool writing) override { inner_.SetWriting(writing); }
  void VerifyingBlocks(std::uint32_t blocks) override { inner_.VerifyingBlocks(blocks); }
  void Note(const std::string& detail) override {
    inner_.Note(detail);
    if (case_.drainOutlastsWatch && detail == "finish frame handed to the line") {
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (!watch_.HungUp() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      EXPECT_TRUE(watch_.HungUp()) << "the watch did not leave after its finish frame";
    }
  }

 private:
  FirmwareUpdateReporter& inner_;
  DiveWatchSim& watch_;
  const Case& case_;
};

class UpdateFixture : public testing::Test {
 protected:
  // `port` 0: the test's manifest names the port, no need for the fixed one.
  void StartService(std::uint16_t port) {
    UpdateServiceOptions options = TestServiceOptions(port);
    options.imagesDir = imagesDir_.path().string();
    options.plainListener = true;  // the same images over plain HTTP
    service_.emplace(options);
    service_->Start();
  }
  void TearDown() override {
    if (service_) service_->Stop();
  }

  // Places the images where the service serves them, under the names that
  // its own manifest lists (<sequence>-<address in hex>.bin); returns them.
  std::vector<Bytes> ServeImages(const std::vector<ServedImage>& images) {
    std::vector<Bytes> contents;
    for (const ServedImage& image : images) {
      if (!image.faultPath.empty()) {  // not served as a file; its size may be beyond any real file
        contents.emplace_back();
        continue;
      }
      contents.push_back(RandomImage(image.size, static_cast<unsigned>(image.sequence) * 7919u));
      char name[64];
      std::snprintf(name, sizeof name, "%d-%08x.bin", image.sequence, image.address);
      WriteWholeFile(imagesDir_.path() / name, contents.back());
    }
    return contents;
  }

  // Runs the procedure on a thread of its own, as the dialog does; a run
  // that does not end in time fails the test instead of hanging it.
  RunOutcome Run(FirmwareUpdateReporter& reporter, SerialDeviceTree& devices, std::string manifest,
                 bool verify = false, HistoryWriter* history = nullptr,
                 bool skipWatchWithOfferedFirmware = false) {
    CurlDownloader downloader(TestCaFile());
    UpdateEnvironment environment{
        downloader, devices,
        [held = std::make_shared<const std::string>(std::move(manifest))] { return held; },
        kAnswerTimeout};
    environment.downloadLimits.stallTimeout = kStallTimeout;
    environment.verifyWrittenBlocks = verify;
    environment.history = history;
    environment.skipWatchWithOfferedFirmware = skipWatchWithOfferedFirmware;
    auto run = std::async(std::launch::async,
                          [&] { return RunFirmwareUpdateProcedure(reporter, environment); });
    if (run.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
      ADD_FAILURE() << "the update did not end";
      std::abort();  // a hung worker cannot be joined
    }
    return run.get();
  }

  TempFolder imagesDir_{"images"};
  std::optional<ReferenceUpdateService> service_;
};

class FirmwareUpdateRun : public UpdateFixture, public testing::WithParamInterface<Case> {};

TEST_P(FirmwareUpdateRun, ReportsAndWritesAsExpected) {
  const Case& c = GetParam();
  TempHome home;
  DiveWatchSim watch(c.faults);
  const std::vector<Bytes> images = ServeImages(c.images);
  StartService(0);
  DiveWatchSysfsTree tree(c.watchConnected ? watch.SlavePath() : "");
  SysfsSerialDevices devices(tree.root());
  std::optional<HeldPort> holder;
  if (c.portHeld) holder.emplace(watch.SlavePath());
  std::optional<ChildProgram> otherProcess;
  if (c.portOpenElsewhere) {
    otherProcess.emplace(std::vector<std::string>{
        "/bin/sh", "-c", "exec 3<>\"$0\"; echo $$; exec sleep 60", watch.SlavePath()});
  }

  RecordingFirmwareUpdateReporter reporter;
  // Beside the data folder, whose contents are checked below.
  const fs::path logFile = home.DataFolder().parent_path() / "update.log";
  fs::create_directories(logFile.parent_path());
  RunLog log(logFile.u16string());
  LoggedFirmwareUpdateReporter logged(reporter, log, "kestrune-test");
  LineMomentsReporter line(logged, watch, c);
  const auto started = std::chrono::steady_clock::now();
  const RunOutcome outcome =
      Run(line, devices,
          c.manifest ? *c.manifest
                     : ManifestFor(c.images, service_->BaseUrl(),
                                   "http://localhost:" + std::to_string(service_->PlainPort())),
          c.verify);
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(outcome, c.outcome);

  // What support reads: the program, every status the user saw, the cause.
  const std::string logText = ReadWholeFile(logFile);
  EXPECT_NE(logText.find("update: start, kestrune-test " + std::string(kProgramVersion)),
            std::string::npos)
      << logText;
  std::size_t at = 0;
  for (const std::u16string& status : c.statuses) {
    at = logText.find("update: status " + WideToUtf8Text(status), at);
    EXPECT_NE(at, std::string::npos) << "status " << WideToUtf8Text(status) << " in\n" << logText;
    if (at == std::string::npos) break;
  }
  for (const std::string& cause : c.logged) {
    EXPECT_NE(logText.find(cause), std::string::npos) << cause << " in\n" << logText;
  }

  // What the user saw.
  EXPECT_EQ(reporter.Statuses(), c.statuses);
  const std::vector<std::uint32_t> ranges = reporter.Values(Kind::Range);
  EXPECT_EQ(ranges, c.range ? std::vector<std::uint32_t>{*c.range} : std::vector<std::uint32_t>{});
  EXPECT_EQ(reporter.Values(Kind::Position), c.positions);
  EXPECT_EQ(reporter.Values(Kind::Verifying), c.readBackAnnounced
                                                  ? std::vector<std::uint32_t>{*c.readBackAnnounced}
                                                  : std::vector<std::uint32_t>{});
  const std::vector<std::uint32_t> writing = reporter.Values(Kind::Writing);
  if (c.blocks.empty()) {
    EXPECT_TRUE(writing.empty());
  } else {
    // Writing is announced before the first block and withdrawn last.
    EXPECT_EQ(writing, (std::vector<std::uint32_t>{1, 0}));
    const auto events = reporter.Events();
    EXPECT_EQ(events.back().kind, Kind::Writing);
    for (const auto& e : events) {
      if (e.kind == Kind::Position) ADD_FAILURE() << "progress moved before writing was announced";
      if (e.kind == Kind::Writing) break;
    }
  }
  if (c.statuses.back() == kWatchSilent) {
    EXPECT_LT(took, kAnswerTimeout + std::chrono::seconds(5))
        << "the wait for the answer is bounded";
  }

  // What went over the wire: nothing but data and commit frames per block,
  // the read-back pass's requests and blocks written once more, then one
  // finish frame.
  std::size_t frameCount =
      c.blocks.size() * (kChunksPerBlock + 1) + c.trailingDataFrames + (c.finish ? 1 : 0);
  for (const ReadBackStep& step : c.readBack) frameCount += step.rewrite ? kChunksPerBlock + 1 : 1;
  watch.WaitForFrames(frameCount, std::chrono::seconds(5));
  const std::vector<DeviceFrame> frames = watch.Frames();
  ASSERT_EQ(frames.size(), frameCount);
  at = 0;
  const auto expectBlockWrite = [&](std::size_t image, std::size_t block) {
    const Bytes bytes = BlockOf(images[image], block);
    ExpectDataFrames(frames, at, bytes, kChunksPerBlock);
    at += kChunksPerBlock;
    const DeviceFrame& commit = frames[at++];
    ASSERT_TRUE(commit.Is(FrameCommand::Commit));
    EXPECT_EQ(commit.Word(kAddressOffset), c.images[image].address + block * kBlockSize);
    EXPECT_EQ(commit.Word(kLengthOffset),
              std::min(kBlockSize, images[image].size() - block * kBlockSize));
    EXPECT_EQ(commit.Word(kChecksumOffset), BlockChecksum(bytes.data(), bytes.size()));
  };
  for (const auto& [image, block] : c.blocks) expectBlockWrite(image, block);
  if (c.trailingDataFrames > 0) {
    const auto& [image, block] = c.blocks.back();
    ExpectDataFrames(frames, at, BlockOf(images[image], block + 1), c.trailingDataFrames);
    at += c.trailingDataFrames;
  }
  for (const ReadBackStep& step : c.readBack) {
    const auto& [image, block] = step.block;
    if (step.rewrite) {
      expectBlockWrite(image, block);
      continue;
    }
    const DeviceFrame& request = frames[at++];
    ASSERT_TRUE(request.Is(FrameCommand::ReadRequest)) << "frame " << at - 1;
    EXPECT_EQ(request.Word(kAddressOffset), c.images[image].address + block * kBlockSize);
    EXPECT_EQ(request.Word(kLengthOffset),
              std::min(kBlockSize, images[image].size() - block * kBlockSize));
  }
  if (c.finish) {
    EXPECT_TRUE(frames[at].Is(FrameCommand::Finish));
    // The watch records a frame first and counts a finish frame just after.
    watch.WaitForFinish(1, std::chrono::seconds(5));
  }
  EXPECT_EQ(watch.FinishCount(), c.finish ? 1u : 0u);

  // What the watch holds, byte for byte against the served images.
  const std::vector<MemoryRegion> regions = watch.WrittenRegions();
  ASSERT_EQ(regions.size(), c.memory.size());
  for (std::size_t i = 0; i < regions.size(); ++i) {
    const auto& [image, length] = c.memory[i];
    EXPECT_EQ(regions[i].address, c.images[image].address);
    Bytes expected(images[image].begin(), images[image].begin() + length);
    if (c.invertedByte && *c.invertedByte >= regions[i].address &&
        *c.invertedByte - regions[i].address < length) {
      expected[*c.invertedByte - regions[i].address] ^= 0xFF;
    }
    EXPECT_EQ(regions[i].bytes, expected);
  }

  // The images fetched stay in the data folder, and once every one was in
  // hand (the run went on to the watch) their record with the digest of
  // each served image; nothing else is there.
  const bool allFetched = !c.blocks.empty() || c.finish;
  std::size_t files = 0;
  if (fs::exists(home.DataFolder())) {
    for (const auto& entry : fs::directory_iterator(home.DataFolder())) (void)entry, ++files;
  }
  EXPECT_EQ(files, c.downloaded + (allFetched ? 1 : 0));
  for (std::size_t i = 0; i < c.downloaded; ++i) {
    const fs::path file =
        home.DataFolder() / ("data" + std::to_string(c.images[i].sequence) + ".bin");
    EXPECT_EQ(ReadWholeFile<Bytes>(file), images[i]) << file;
  }
  const fs::path recordFile = home.DataFolder() / "images.json";
  EXPECT_EQ(fs::exists(recordFile), allFetched);
  if (allFetched) {
    ImageRecord record;
    std::string why;
    ASSERT_TRUE(ParseImageRecord(ReadWholeFile(recordFile), record, why)) << why;
    EXPECT_EQ(record.model, "K1");
    EXPECT_EQ(record.firmwareVersion, u"1.006");
    ASSERT_EQ(record.images.size(), c.images.size());
    for (std::size_t i = 0; i < c.images.size(); ++i) {
      EXPECT_EQ(record.images[i].sequence, c.images[i].sequence);
      EXPECT_EQ(record.images[i].address, static_cast<std::int32_t>(c.images[i].address));
      EXPECT_EQ(record.images[i].sha256, Sha256Hex(images[i].data(), images[i].size())) << i;
    }
  }

  // The run let go of the port.
  if (c.watchConnected && !c.portHeld && !watch.HungUp()) {
    EXPECT_TRUE(devices.ProbeExclusiveOpen(
        std::u16string(watch.SlavePath().begin(), watch.SlavePath().end()).c_str()));
  }
}

// The update from the manifest that the service makes of its images folder,
// fetched from the service as the update check fetches it.
TEST_F(UpdateFixture, WritesTheImagesOfTheServicesOwnManifest) {
  TempHome home;
  DiveWatchSim watch;
  const std::vector<ServedImage> served = {Image(kA, 1, 4096 * 3), Image(kB, 2, 100)};
  const std::vector<Bytes> images = ServeImages(served);
  StartService(0);
  DiveWatchSysfsTree tree(watch.SlavePath());
  SysfsSerialDevices devices(tree.root());
  CurlDownloader downloader(TestCaFile());
  const fs::path manifestFile = imagesDir_.path() / "features.json";
  ASSERT_TRUE(downloader.DownloadUrlToFile(
      Utf8ToWideText(service_->BaseUrl() + "/api/v1/devices/firmwareUpdate?model=K1"),
      Utf8ToWideText(manifestFile.string())));
  const std::string manifest = ReadWholeFile(manifestFile);

  RecordingFirmwareUpdateReporter reporter;
  Run(reporter, devices, manifest);

  EXPECT_EQ(reporter.Statuses(), (std::vector<std::u16string>{kFetchingImages, kWritingImage,
                                                              kWritingImage, kUpdateDone}));
  EXPECT_EQ(reporter.Values(Kind::Range), std::vector<std::uint32_t>{4});
  EXPECT_EQ(reporter.Values(Kind::Position), (std::vector<std::uint32_t>{1, 2, 3, 4}));
  ASSERT_TRUE(watch.WaitForFinish(1, std::chrono::seconds(5)));
  EXPECT_EQ(watch.Memory(kA, images[0].size()), images[0]);
  EXPECT_EQ(watch.Memory(kB, images[1].size()), images[1]);
  EXPECT_EQ(watch.WrittenRegions().size(), 2u);
}

// Every run that met the watch leaves its row in the history once it has
// ended; a window (no skipping) writes a watch its history calls current,
// the command line's update leaves it as it is.
TEST_F(UpdateFixture, EachRunIsRecordedAndOnlyTheCommandLineLeavesACurrentWatchUnwritten) {
  TempHome home;
  DiveWatchSim watch;
  const std::vector<ServedImage> served = {Image(kA, 1, 8192), Image(kB, 2, 100)};
  const std::vector<Bytes> images = ServeImages(served);
  StartService(0);
  DiveWatchSysfsTree tree(watch.SlavePath(), "KW-7001");
  SysfsSerialDevices devices(tree.root());
  const std::string manifest = ManifestFor(served, service_->BaseUrl());
  HistoryWriter history(UserHistoryPath());

  RecordingFirmwareUpdateReporter asWindow;
  EXPECT_EQ(Run(asWindow, devices, manifest, true, &history, false), RunOutcome::kDone);
  ASSERT_TRUE(history.Flush(std::chrono::seconds(10)));
  RecordingFirmwareUpdateReporter againAsWindow;
  EXPECT_EQ(Run(againAsWindow, devices, manifest, false, &history, false), RunOutcome::kDone);
  ASSERT_TRUE(watch.WaitForFinish(2, std::chrono::seconds(5)));
  ASSERT_TRUE(history.Flush(std::chrono::seconds(10)));
  RecordingFirmwareUpdateReporter asCommandLine;
  EXPECT_EQ(Run(asCommandLine, devices, manifest, false, &history, true),
            RunOutcome::kAlreadyCurrent);
  EXPECT_EQ(asCommandLine.Statuses(),
            (std::vector<std::u16string>{kFetchingImages, kAlreadyCurrent}));
  ASSERT_TRUE(history.Flush(std::chrono::seconds(10)));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(watch.FinishCount(), 2u);

  HistoryDatabase database(UserHistoryPath(), std::chrono::seconds(1));
  std::vector<HistoryRow> rows;
  std::string error;
  ASSERT_TRUE(database.Query({}, rows, error)) << error;
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].reason, "already_current");
  EXPECT_EQ(rows[0].blocksWritten, 0u);
  const HistoryRow& first = rows[2];
  EXPECT_EQ(first.serial, "KW-7001");
  EXPECT_EQ(first.port, watch.SlavePath());
  EXPECT_EQ(first.location, "1-1");
  EXPECT_EQ(first.firmwareVersion, "1.006");
  EXPECT_EQ(first.images, (std::vector<ImageDigest>{{8192, Sha256Hex(images[0].data(), 8192)},
                                                    {100, Sha256Hex(images[1].data(), 100)}}));
  EXPECT_EQ(first.reason, "done");
  EXPECT_EQ(first.blocksWritten, 3u);
  EXPECT_EQ(first.readBack, "all blocks match");
  EXPECT_EQ(rows[1].readBack, "not asked");
  EXPECT_LE(first.startUtc, first.endUtc);
}

// Fetches the first image for real, then fails as an exhausted allocator
// would: the run must still end with a status, the port closed and the
// writing span over.
class FailingSecondDownload : public Downloader {
 public:
  DownloadResult Download(const std::u16string& url, const std::u16string& path,
                          const DownloadLimits& limits) override {
    if (++calls_ > 1) throw std::bad_alloc();
    return real_.Download(url, path, limits);
  }

 private:
  CurlDownloader real_{TestCaFile()};
  int calls_ = 0;
};

TEST_F(UpdateFixture, AnExceptionEndsTheRunWithAStatusAndThePortClosed) {
  TempHome home;
  DiveWatchSim watch;
  const std::vector<ServedImage> served = {Image(kA, 1, 4096), Image(kB, 2, 4096)};
  const std::vector<Bytes> images = ServeImages(served);
  StartService(0);
  DiveWatchSysfsTree tree(watch.SlavePath());
  SysfsSerialDevices devices(tree.root());
  FailingSecondDownload downloader;
  const SharedManifestText manifest =
      std::make_shared<const std::string>(ManifestFor(served, service_->BaseUrl()));
  UpdateEnvironment environment{downloader, devices, [&] { return manifest; }, kAnswerTimeout};
  RecordingFirmwareUpdateReporter reporter;

  RunOutcome outcome = RunOutcome::kDone;
  EXPECT_NO_THROW(outcome = RunFirmwareUpdateProcedure(reporter, environment));

  // Nothing the watch or the service did: another failure.
  EXPECT_EQ(outcome, RunOutcome::kFailure);

  // The images are all fetched before writing begins, so the watch is untouched.
  EXPECT_EQ(reporter.Statuses(), (std::vector<std::u16string>{kFetchingImages, kUpdateFailed}));
  EXPECT_TRUE(reporter.Values(Kind::Writing).empty());
  EXPECT_EQ(watch.Memory(kA, 4096), Bytes(4096, 0xFF));
  EXPECT_TRUE(watch.Frames().empty());
  EXPECT_EQ(watch.FinishCount(), 0u);
  EXPECT_TRUE(devices.ProbeExclusiveOpen(
      std::u16string(watch.SlavePath().begin(), watch.SlavePath().end()).c_str()));
}

TEST_F(UpdateFixture, WithoutADataFolderNothingIsDownloaded) {
  TempHome home;
  unsetenv("HOME");  // no Documents folder can be resolved
  DiveWatchSim watch;
  const std::vector<ServedImage> served = {Image(kA, 1, 4096)};
  ServeImages(served);
  StartService(0);
  DiveWatchSysfsTree tree(watch.SlavePath());
  SysfsSerialDevices devices(tree.root());
  RecordingFirmwareUpdateReporter reporter;

  Run(reporter, devices, ManifestFor(served, service_->BaseUrl()));

  EXPECT_EQ(reporter.Statuses(),
            (std::vector<std::u16string>{kFetchingImages, kImageDownloadFailed}));
  EXPECT_FALSE(fs::exists("/data1.bin"));
  EXPECT_TRUE(watch.Frames().empty());
}

// A close decided before the first block: the run stops before writing,
// says nothing more, and lets go of the port.
TEST_F(UpdateFixture, ACloseDecidedBeforeWritingKeepsTheRunFromWriting) {
  TempHome home;
  DiveWatchSim watch;
  const std::vector<ServedImage> served = {Image(kA, 1, 8192)};
  ServeImages(served);
  StartService(0);
  DiveWatchSysfsTree tree(watch.SlavePath());
  SysfsSerialDevices devices(tree.root());
  CurlDownloader downloader(TestCaFile());
  const SharedManifestText manifest =
      std::make_shared<const std::string>(ManifestFor(served, service_->BaseUrl()));
  CloseGate gate;
  ASSERT_TRUE(gate.RequestClose());
  UpdateEnvironment environment{downloader, devices, [&] { return manifest; }, kAnswerTimeout,
                                &gate};
  RecordingFirmwareUpdateReporter reporter;

  EXPECT_EQ(RunFirmwareUpdateProcedure(reporter, environment), RunOutcome::kClosedBeforeWriting);

  EXPECT_EQ(reporter.Statuses(), std::vector<std::u16string>{kFetchingImages});
  EXPECT_TRUE(reporter.Values(Kind::Writing).empty());
  EXPECT_FALSE(gate.Writing());
  EXPECT_FALSE(watch.WaitForFrames(1, std::chrono::milliseconds(300)));
  EXPECT_TRUE(devices.ProbeExclusiveOpen(
      std::u16string(watch.SlavePath().begin(), watch.SlavePath().end()).c_str()));
}

// Asks the gate for a close once the first block is written.
class ClosingReporter : public RecordingFirmwareUpdateReporter {
 public:
  explicit ClosingReporter(CloseGate& gate) : gate_(gate) {}
  void SetProgressPosition(std::uint32_t position) override {
    if (position == 1) closedAtOnce = gate_.RequestClose();
    RecordingFirmwareUpdateReporter::SetProgressPosition(position);
  }
  bool closedAtOnce = true;

 private:
  CloseGate& gate_;
};

// A close decided while writing is deferred: every block still goes out and
// the gate is open for the close once the run has ended.
TEST_F(UpdateFixture, ACloseDuringWritingLetsTheRunFinish) {
  TempHome home;
  DiveWatchSim watch;
  const std::vector<ServedImage> served = {Image(kA, 1, 8192), Image(kB, 2, 4096)};
  const std::vector<Bytes> images = ServeImages(served);
  StartService(0);
  DiveWatchSysfsTree tree(watch.SlavePath());
  SysfsSerialDevices devices(tree.root());
  CurlDownloader downloader(TestCaFile());
  const SharedManifestText manifest =
      std::make_shared<const std::string>(ManifestFor(served, service_->BaseUrl()));
  CloseGate gate;
  UpdateEnvironment environment{downloader, devices, [&] { return manifest; }, kAnswerTimeout,
                                &gate};
  ClosingReporter reporter(gate);

  EXPECT_EQ(RunFirmwareUpdateProcedure(reporter, environment), RunOutcome::kDone);

  EXPECT_FALSE(reporter.closedAtOnce);
  EXPECT_EQ(reporter.Statuses(), (std::vector<std::u16string>{kFetchingImages, kWritingImage,
                                                              kWritingImage, kUpdateDone}));
  ASSERT_TRUE(watch.WaitForFinish(1, std::chrono::seconds(5)));
  EXPECT_EQ(watch.Memory(kB, 4096), images[1]);
  EXPECT_FALSE(gate.Writing());
  EXPECT_TRUE(gate.RequestClose());
}

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

INSTANTIATE_TEST_SUITE_P(Cases, FirmwareUpdateRun, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
}  // namespace kestrune
