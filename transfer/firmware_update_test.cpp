// Whole firmware updates against real pieces: the simulated watch on a pty,
// found through a sysfs-shaped tree whose watch tty is that pty, images
// served over HTTPS by the reference update service and fetched by libcurl
// trusting the test CA, and the user data folder under a temporary HOME.
#include "transfer/firmware_update.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "device/sysfs_serial_devices.h"
#include "tools/dive_watch_sim/dive_watch_sim.h"
#include "tools/update_service/reference_update_service.h"
#include "transfer/device_frame.h"
#include "transfer/logged_firmware_update_reporter.h"
#include "transfer/recording_update_reporter.h"
#include "transfer/update_run_fixtures.h"
#include "update/curl_downloader.h"
#include "update/run_log.h"
#include "update/text_conversion.h"

namespace kestrune {
namespace {
using namespace testing_support;
using Kind = RecordingUpdateReporter::Kind;

const std::u16string kConnectWatch = u"請連接 Kestrune 潛水錶";
const std::u16string kNoUpdateData = u"無法取得更新資料";
const std::u16string kFetching = u"正在取得更新檔";
const std::u16string kDownloadFailed = u"無法取得更新檔";
const std::u16string kWrongSize = u"更新檔錯誤";
const std::u16string kWriting = u"正在寫入更新檔";
const std::u16string kUpdateFailed = u"更新錯誤";
const std::u16string kDone = u"更新完成";
const std::u16string kPortUnavailable = u"無法開啟潛水錶連接埠";
const std::u16string kWatchSilent = u"潛水錶沒有回應";

constexpr std::chrono::milliseconds kAnswerTimeout{2000};

// Another program holding the port the way a serial link does.
class PortHolder {
 public:
  explicit PortHolder(const std::string& node) {
    fd_ = open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd_, 0);
    EXPECT_EQ(ioctl(fd_, TIOCEXCL), 0);
    EXPECT_EQ(flock(fd_, LOCK_EX | LOCK_NB), 0);
  }
  ~PortHolder() { close(fd_); }

 private:
  int fd_ = -1;
};

struct ServedImage {
  std::uint32_t address;
  std::int32_t sequence;
  std::size_t size;
  // Added to the size the manifest states (the served file keeps `size`).
  std::int32_t manifestSizeDelta = 0;
  // The image's URL answers 404.
  bool missing = false;
};

std::string ManifestFor(const std::vector<ServedImage>& images, const std::string& baseUrl) {
  std::string files;
  for (const ServedImage& image : images) {
    if (!files.empty()) files += ",";
    char name[64];
    std::snprintf(name, sizeof name, "/files/%d-%08x.bin", image.sequence, image.address);
    const std::string path = image.missing ? "/fault/404" : name;
    files += "{\"size\":" + std::to_string(static_cast<std::int64_t>(image.size) + image.manifestSizeDelta) +
             ",\"sequence\":" + std::to_string(image.sequence) + ",\"file_path\":\"" + baseUrl + path +
             "\",\"address\":" + std::to_string(static_cast<std::int32_t>(image.address)) + "}";
  }
  return "{\"response\":{\"firmware_version\":\"1.006\",\"release_note\":\"Faster dive log sync.\\n"
         "潛水紀錄同步更快。\\nThe battery gauge is steadier during long dives, the compass is "
         "calibrated once per dive, and the logbook keeps the last 200 dives.\",\"firmware_files\":[" +
         files + "]}}";
}

// A manifest with no firmware_files member at all, padded to `length` bytes.
std::string ManifestWithoutFiles(std::size_t length) {
  const std::string head = "{\"response\":{\"firmware_version\":\"1.006\",\"release_note\":\"";
  const std::string tail = "\"}}";
  return head + std::string(length - head.size() - tail.size(), 'x') + tail;
}

struct Expected {
  std::vector<std::u16string> statuses;
  std::optional<std::uint32_t> range;  // absent: the range is never set
  std::vector<std::uint32_t> positions;
  // Every block sent, in order: which image, which block of it.
  std::vector<std::pair<std::size_t, std::size_t>> blocks;
  // Data frames of one more block that the watch took before hanging up.
  std::size_t trailingDataFrames = 0;
  bool finish = false;
  // What the watch's memory holds afterwards: bytes [0, n) of image i.
  std::vector<std::pair<std::size_t, std::size_t>> memory;
  // How many images, from the first, were downloaded into the data folder.
  std::size_t downloaded = 0;
};

struct Case {
  const char* name;
  bool watchConnected = true;
  bool portHeld = false;
  DiveWatchFaults faults;
  std::vector<ServedImage> images;
  std::optional<std::string> manifest;  // verbatim, in place of the images' one
  Expected expected;
};

constexpr std::uint32_t kA = 0x00008000;
constexpr std::uint32_t kB = 0x00100000;

std::vector<Case> Cases() {
  const std::vector<ServedImage> twoImages = {{kA, 1, 8192}, {kB, 2, 4096}};
  return {
      {"NoWatch", false, false, {}, twoImages, std::nullopt, {{kConnectWatch}}},
      {"PortHeldByAnotherProgram", true, true, {}, twoImages, std::nullopt,
       {{kPortUnavailable}}},
      {"Manifest256Bytes", true, false, {}, {}, ManifestWithoutFiles(256), {{kNoUpdateData}}},
      {"Manifest257BytesWithoutFiles", true, false, {}, {}, ManifestWithoutFiles(257),
       {{kFetching, kDone}, 0u, {}, {}, 0, true, {}, 0}},
      {"EmptyFileList", true, false, {}, {}, std::nullopt,
       {{kFetching, kDone}, 0u, {}, {}, 0, true, {}, 0}},
      {"InvalidManifest", true, false, {}, {},
       "{\"response\":{\"firmware_version\":\"1.006\",\"release_note\":\"notes\",\"firmware_files\":"
       "[{\"size\":\"8192\",\"sequence\":1,\"file_path\":\"https://localhost/x\",\"address\":0}]},"
       "\"padding\":\"" + std::string(200, 'p') + "\"}",
       {{kNoUpdateData}}},
      {"TwoImages", true, false, {}, twoImages, std::nullopt,
       {{kFetching, kWriting, kWriting, kDone}, 3u, {1, 2, 3}, {{0, 0}, {0, 1}, {1, 0}}, 0, true,
        {{0, 8192}, {1, 4096}}, 2}},
      {"SecondDownloadFails", true, false, {}, {{kA, 1, 8192}, {kB, 2, 4096, 0, true}}, std::nullopt,
       {{kFetching, kWriting, kDownloadFailed}, 3u, {1, 2}, {{0, 0}, {0, 1}}, 0, false, {{0, 8192}}, 1}},
      // 524,288 blocks: a 16-bit range would show 0.
      {"RangeBeyond16Bits", true, false, {}, {{kA, 1, 0x7FFFFFFF, 0, true}}, std::nullopt,
       {{kFetching, kDownloadFailed}, 524288u, {}, {}, 0, false, {}, 0}},
      {"ImageOneByteLongerThanItsSize", true, false, {}, {{kA, 1, 4097, -1}}, std::nullopt,
       {{kFetching, kWrongSize}, 1u, {}, {}, 0, false, {}, 1}},
      {"TailShorterThanABlock", true, false, {}, {{kA, 1, 5000}}, std::nullopt,
       {{kFetching, kWriting, kDone}, 2u, {1, 2}, {{0, 0}, {0, 1}}, 0, true, {{0, 5000}}, 1}},
      {"RefusedBlock", true, false, DiveWatchFaults::Refuse(1), twoImages, std::nullopt,
       {{kFetching, kWriting, kUpdateFailed}, 3u, {1}, {{0, 0}, {0, 1}}, 0, false, {{0, 4096}}, 1}},
      {"SilentWatch", true, false, DiveWatchFaults::SilentFrom(1), twoImages, std::nullopt,
       {{kFetching, kWriting, kWatchSilent}, 3u, {1}, {{0, 0}, {0, 1}}, 0, false, {{0, 4096}}, 1}},
      // The host's frames fill the line, then the wait for room or answer ends.
      {"WatchStopsReading", true, false, DiveWatchFaults::StopReadingAfter(1), twoImages, std::nullopt,
       {{kFetching, kWriting, kWatchSilent}, 3u, {1}, {{0, 0}}, 0, false, {{0, 4096}}, 1}},
      {"WatchHangsUpMidBlock", true, false, DiveWatchFaults::HangUpIn(1, 40), twoImages, std::nullopt,
       {{kFetching, kWriting, kUpdateFailed}, 3u, {1}, {{0, 0}}, 40, false, {{0, 4096}}, 1}},
  };
}

// What the run log must say of each case's cause, besides the statuses.
const std::map<std::string, std::vector<std::string>> kLoggedCauses = {
    {"NoWatch", {"discovery: no serial port device present"}},
    {"PortHeldByAnotherProgram",
     {"discovery: USB\\VID_1915&PID_52F0&MI_00\\1-1:1.0, parent USB\\VID_1915&PID_52F0\\1-1, "
      "port /dev/pts/",
      ": port busy", "port: open error 11 (Resource temporarily unavailable)"}},
    {"Manifest256Bytes", {"manifest text of 256 bytes is not a usable manifest"}},
    {"InvalidManifest", {"bytes is not a usable manifest"}},
    {"TwoImages",
     {": picked", "firmware 1.006: 2 image(s), 3 blocks",
      "image 1 https://localhost:", "/files/1-00008000.bin (size 8192, address 0x00008000): HTTP 200, 8192 bytes",
      "done: 3 blocks written, 15520 bytes sent and 120 received on the line, "}},
    {"SecondDownloadFails", {"/fault/404 (size 4096, address 0x00100000): HTTP 404"}},
    {"ImageOneByteLongerThanItsSize", {"data1.bin does not hold the manifest's 4096 bytes"}},
    {"RefusedBlock", {"block 2 (image 1 block 2) at 0x00009000: refused by the watch"}},
    {"SilentWatch", {"block 2 (image 1 block 2) at 0x00009000: read error 110 (Connection timed out)"}},
    // The pty takes the frames, so the answer's wait is what times out.
    {"WatchStopsReading", {"block 2 (image 1 block 2) at 0x00009000: read error 110"}},
    {"WatchHangsUpMidBlock", {"block 2 (image 1 block 2) at 0x00009000: "}},
};

std::string LogText(const fs::path& file) {
  const Bytes bytes = ReadFile(file);
  return std::string(bytes.begin(), bytes.end());
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

class UpdateFixture : public testing::Test {
 protected:
  // `port` 0: the test's manifest names the port, no need for the fixed one.
  void StartService(std::uint16_t port) {
    UpdateServiceOptions options;
    options.port = port;
    options.pkiDir = KESTRUNE_TEST_PKI_DIR;
    options.imagesDir = imagesDir_.string();
    service_.emplace(options);
    service_->Start();
  }
  void TearDown() override {
    if (service_) service_->Stop();
    fs::remove_all(imagesDir_);
  }

  // Places the images where the service serves them, under the names that
  // its own manifest lists (<sequence>-<address in hex>.bin); returns them.
  std::vector<Bytes> ServeImages(const std::vector<ServedImage>& images) {
    std::vector<Bytes> contents;
    for (const ServedImage& image : images) {
      if (image.missing) {  // its URL fails; its size may be beyond any real file
        contents.emplace_back();
        continue;
      }
      contents.push_back(RandomImage(image.size, static_cast<unsigned>(image.sequence) * 7919u));
      char name[64];
      std::snprintf(name, sizeof name, "%d-%08x.bin", image.sequence, image.address);
      WriteFile(imagesDir_ / name, contents.back());
    }
    return contents;
  }

  // Runs the procedure on a thread of its own, as the dialog does; a run
  // that does not end in time fails the test instead of hanging it.
  void Run(FirmwareUpdateReporter& reporter, DevicePlatform& devices, std::string manifest) {
    CurlDownloader downloader(std::string(KESTRUNE_TEST_PKI_DIR) + "/ca.crt");
    FirmwareUpdateEnvironment environment{downloader, devices, [manifest] { return manifest; },
                                          kAnswerTimeout};
    auto run = std::async(std::launch::async,
                          [&] { RunFirmwareUpdateProcedure(reporter, environment); });
    if (run.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
      ADD_FAILURE() << "the update did not end";
      std::abort();  // a hung worker cannot be joined
    }
    run.get();
  }

  fs::path imagesDir_ = MakeTempDir("images");
  std::optional<ReferenceUpdateService> service_;
};

class FirmwareUpdateRun : public UpdateFixture, public testing::WithParamInterface<Case> {};

TEST_P(FirmwareUpdateRun, ReportsAndWritesAsExpected) {
  const Case& c = GetParam();
  const Expected& want = c.expected;
  TempHome home;
  DiveWatchSim watch(c.faults);
  const std::vector<Bytes> images = ServeImages(c.images);
  StartService(0);
  DeviceTree tree(c.watchConnected ? watch.SlavePath() : "");
  SysfsSerialDevices devices(tree.root());
  std::optional<PortHolder> holder;
  if (c.portHeld) holder.emplace(watch.SlavePath());

  RecordingUpdateReporter reporter;
  // Beside the data folder, whose contents are checked below.
  const fs::path logFile = home.DataFolder().parent_path() / "update.log";
  fs::create_directories(logFile.parent_path());
  RunLog log(logFile.u16string());
  LoggedFirmwareUpdateReporter logged(reporter, log, "kestrune-test");
  const auto started = std::chrono::steady_clock::now();
  Run(logged, devices, c.manifest ? *c.manifest : ManifestFor(c.images, service_->BaseUrl()));
  const auto took = std::chrono::steady_clock::now() - started;

  // What support reads: the program, every status the user saw, the cause.
  const std::string logText = LogText(logFile);
  EXPECT_NE(logText.find("update: start, kestrune-test " + std::string(kProgramVersion)),
            std::string::npos)
      << logText;
  std::size_t at = 0;
  for (const std::u16string& status : want.statuses) {
    at = logText.find("update: status " + WideToUtf8Text(status), at);
    EXPECT_NE(at, std::string::npos) << "status " << WideToUtf8Text(status) << " in\n" << logText;
    if (at == std::string::npos) break;
  }
  const auto causes = kLoggedCauses.find(c.name);
  if (causes != kLoggedCauses.end()) {
    for (const std::string& cause : causes->second) {
      EXPECT_NE(logText.find(cause), std::string::npos) << cause << " in\n" << logText;
    }
  }

  // What the user saw.
  EXPECT_EQ(reporter.Statuses(), want.statuses);
  const std::vector<std::uint32_t> ranges = reporter.Values(Kind::Range);
  EXPECT_EQ(ranges, want.range ? std::vector<std::uint32_t>{*want.range} : std::vector<std::uint32_t>{});
  EXPECT_EQ(reporter.Values(Kind::Position), want.positions);
  const std::vector<std::uint32_t> writing = reporter.Values(Kind::Writing);
  if (want.blocks.empty()) {
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
  if (want.statuses.back() == kWatchSilent) {
    EXPECT_LT(took, kAnswerTimeout + std::chrono::seconds(5)) << "the wait for the answer is bounded";
  }

  // What went over the wire: nothing but data and commit frames per block,
  // then one finish frame.
  const std::size_t frameCount =
      want.blocks.size() * (kChunksPerBlock + 1) + want.trailingDataFrames + (want.finish ? 1 : 0);
  watch.WaitForFrames(frameCount, std::chrono::seconds(5));
  const std::vector<DeviceFrame> frames = watch.Frames();
  ASSERT_EQ(frames.size(), frameCount);
  at = 0;
  for (const auto& [image, block] : want.blocks) {
    const Bytes bytes = BlockOf(images[image], block);
    ExpectDataFrames(frames, at, bytes, kChunksPerBlock);
    at += kChunksPerBlock;
    const DeviceFrame& commit = frames[at++];
    ASSERT_TRUE(commit.Is(FrameCommand::Commit));
    EXPECT_EQ(commit.Word(kAddressOffset), c.images[image].address + block * kBlockSize);
    EXPECT_EQ(commit.Word(kLengthOffset),
              std::min(kBlockSize, images[image].size() - block * kBlockSize));
    EXPECT_EQ(commit.Word(kChecksumOffset), BlockChecksum(bytes.data(), bytes.size()));
  }
  if (want.trailingDataFrames > 0) {
    const auto& [image, block] = want.blocks.back();
    ExpectDataFrames(frames, at, BlockOf(images[image], block + 1), want.trailingDataFrames);
    at += want.trailingDataFrames;
  }
  if (want.finish) {
    EXPECT_TRUE(frames[at].Is(FrameCommand::Finish));
  }
  EXPECT_EQ(watch.FinishCount(), want.finish ? 1u : 0u);

  // What the watch holds, byte for byte against the served images.
  const std::vector<MemoryRegion> regions = watch.WrittenRegions();
  ASSERT_EQ(regions.size(), want.memory.size());
  for (std::size_t i = 0; i < regions.size(); ++i) {
    const auto& [image, length] = want.memory[i];
    EXPECT_EQ(regions[i].address, c.images[image].address);
    EXPECT_EQ(regions[i].bytes, Bytes(images[image].begin(), images[image].begin() + length));
  }

  // The images fetched stay in the data folder, nothing else is there.
  std::size_t files = 0;
  if (fs::exists(home.DataFolder())) {
    for (const auto& entry : fs::directory_iterator(home.DataFolder())) (void)entry, ++files;
  }
  EXPECT_EQ(files, want.downloaded);
  for (std::size_t i = 0; i < want.downloaded; ++i) {
    const fs::path file = home.DataFolder() / ("data" + std::to_string(c.images[i].sequence) + ".bin");
    EXPECT_EQ(ReadFile(file), images[i]) << file;
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
  const std::vector<ServedImage> served = {{kA, 1, 4096 * 3}, {kB, 2, 100}};
  const std::vector<Bytes> images = ServeImages(served);
  StartService(0);
  DeviceTree tree(watch.SlavePath());
  SysfsSerialDevices devices(tree.root());
  CurlDownloader downloader(std::string(KESTRUNE_TEST_PKI_DIR) + "/ca.crt");
  const fs::path manifestFile = imagesDir_ / "features.json";
  ASSERT_TRUE(downloader.DownloadUrlToFile(
      Utf8ToWideText(service_->BaseUrl() + "/api/v1/devices/firmwareUpdate?model=K1"),
      Utf8ToWideText(manifestFile.string())));
  const Bytes manifestBytes = ReadFile(manifestFile);
  const std::string manifest(manifestBytes.begin(), manifestBytes.end());

  RecordingUpdateReporter reporter;
  Run(reporter, devices, manifest);

  EXPECT_EQ(reporter.Statuses(), (std::vector<std::u16string>{kFetching, kWriting, kWriting, kDone}));
  EXPECT_EQ(reporter.Values(Kind::Range), std::vector<std::uint32_t>{4});
  EXPECT_EQ(reporter.Values(Kind::Position), (std::vector<std::uint32_t>{1, 2, 3, 4}));
  ASSERT_TRUE(watch.WaitForFinish(1, std::chrono::seconds(5)));
  EXPECT_EQ(watch.Memory(kA, images[0].size()), images[0]);
  EXPECT_EQ(watch.Memory(kB, images[1].size()), images[1]);
  EXPECT_EQ(watch.WrittenRegions().size(), 2u);
}

// Fetches the first image for real, then fails as an exhausted allocator
// would: the run must still end with a status, the port closed and the
// writing span over.
class FailingSecondDownload : public Downloader {
 public:
  bool DownloadUrlToFile(const std::u16string& url, const std::u16string& path) override {
    if (++calls_ > 1) throw std::bad_alloc();
    return real_.DownloadUrlToFile(url, path);
  }

 private:
  CurlDownloader real_{std::string(KESTRUNE_TEST_PKI_DIR) + "/ca.crt"};
  int calls_ = 0;
};

TEST_F(UpdateFixture, AnExceptionEndsTheRunWithAStatusAndThePortClosed) {
  TempHome home;
  DiveWatchSim watch;
  const std::vector<ServedImage> served = {{kA, 1, 4096}, {kB, 2, 4096}};
  const std::vector<Bytes> images = ServeImages(served);
  StartService(0);
  DeviceTree tree(watch.SlavePath());
  SysfsSerialDevices devices(tree.root());
  FailingSecondDownload downloader;
  const std::string manifest = ManifestFor(served, service_->BaseUrl());
  FirmwareUpdateEnvironment environment{downloader, devices, [&] { return manifest; },
                                        kAnswerTimeout};
  RecordingUpdateReporter reporter;

  EXPECT_NO_THROW(RunFirmwareUpdateProcedure(reporter, environment));

  EXPECT_EQ(reporter.Statuses(), (std::vector<std::u16string>{kFetching, kWriting, kUpdateFailed}));
  EXPECT_EQ(reporter.Values(Kind::Writing), (std::vector<std::uint32_t>{1, 0}));
  EXPECT_EQ(watch.Memory(kA, 4096), images[0]);
  EXPECT_EQ(watch.FinishCount(), 0u);
  EXPECT_TRUE(devices.ProbeExclusiveOpen(
      std::u16string(watch.SlavePath().begin(), watch.SlavePath().end()).c_str()));
}

TEST_F(UpdateFixture, WithoutADataFolderNothingIsDownloaded) {
  TempHome home;
  unsetenv("HOME");  // no Documents folder can be resolved
  DiveWatchSim watch;
  const std::vector<ServedImage> served = {{kA, 1, 4096}};
  ServeImages(served);
  StartService(0);
  DeviceTree tree(watch.SlavePath());
  SysfsSerialDevices devices(tree.root());
  RecordingUpdateReporter reporter;

  Run(reporter, devices, ManifestFor(served, service_->BaseUrl()));

  EXPECT_EQ(reporter.Statuses(), (std::vector<std::u16string>{kFetching, kDownloadFailed}));
  EXPECT_FALSE(fs::exists("/data1.bin"));
  EXPECT_TRUE(watch.Frames().empty());
}

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

INSTANTIATE_TEST_SUITE_P(Cases, FirmwareUpdateRun, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
}  // namespace kestrune
