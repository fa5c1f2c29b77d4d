// The update check end to end on Linux: the reference service on the fixed
// port 8443 (or nothing listening there), libcurl trusting the test CA, and
// the data folder in a temporary HOME.

#include "update/update_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testing/recording_update_check_reporter.h"
#include "testing/temp_home.h"
#include "testing/whole_file.h"
#include "tools/update_service/port_lock.h"
#include "tools/update_service/reference_update_service.h"
#include "update/curl_downloader.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadWholeFile;
using testing_support::RecordingUpdateCheckReporter;
using testing_support::TempHome;
using testing_support::WriteWholeFile;

// A manifest of exactly `length` bytes (padded inside a member outside
// `response`).
std::string ManifestOfLength(size_t length, const std::string& version) {
  const std::string head = "{\"response\":{\"firmware_version\":\"" + version +
                           "\",\"release_note\":\"line 1\\r\\n\xE6\xAA\x94\"},\"pad\":\"";
  const std::string tail = "\"}";
  return head + std::string(length - head.size() - tail.size(), ' ') + tail;
}

class UpdateCheckTest : public testing::Test {
 protected:
  // Serves on the product's fixed port; waits for the port's lock.
  ReferenceUpdateService& StartService() {
    service_ = std::make_unique<ReferenceUpdateService>(TestServiceOptions(kUpdateServicePort));
    service_->Start();
    return *service_;
  }
  // Nobody may listen on the port while we hold its lock: the service is
  // unreachable.
  void GoOffline() { offline_.emplace(kUpdateServicePort); }

  void WriteCachedManifest(const std::string& text) {
    fs::create_directories(home_.DataFolder());
    WriteWholeFile(CachedManifest(), text);
  }
  fs::path CachedManifest() const { return home_.DataFolder() / "features.json"; }

  void RunCheck() {
    CurlDownloader downloader(TestCaFile());
    outcome_ = RunUpdateCheckProcedure(reporter_, downloader);
  }
  void ExpectFailureShowsNothing() {
    EXPECT_EQ(outcome_, UpdateCheckOutcome::kNoUpdateData);
    EXPECT_EQ(reporter_.statuses,
              (std::vector<std::u16string>{kFetchingUpdateData, kNoUpdateData}));
    EXPECT_TRUE(reporter_.versions.empty());
    EXPECT_TRUE(reporter_.notes.empty());
  }

  TempHome home_;
  std::optional<ScopedPortLock> offline_;
  std::unique_ptr<ReferenceUpdateService> service_;
  RecordingUpdateCheckReporter reporter_;
  std::optional<UpdateCheckOutcome> outcome_;
};

TEST_F(UpdateCheckTest, ShowsTheServicesManifest) {
  ReferenceUpdateService& service = StartService();
  RunCheck();
  EXPECT_EQ(outcome_, UpdateCheckOutcome::kFetched);
  EXPECT_EQ(reporter_.statuses,
            (std::vector<std::u16string>{kFetchingUpdateData, kUpdateDataFetched}));
  EXPECT_EQ(reporter_.versions, std::vector<std::u16string>{u"1.006"});
  ASSERT_EQ(reporter_.notes.size(), 1u);
  EXPECT_EQ(reporter_.notes[0],
            u"1. 改善潛水記錄同步速度\r\n2. Compass calibration is kept after a battery "
            u"change\r\n3. 新增繁體中文選單\r\n4. Safety stop timer shows seconds below 1 "
            u"minute");
  ASSERT_EQ(reporter_.stored.size(), 1u);
  EXPECT_EQ(reporter_.stored[0], service.ManifestText());
  EXPECT_EQ(ReadWholeFile(CachedManifest()), service.ManifestText());
  EXPECT_EQ(service.LastUserAgent(), "InetURL/1.0");
}

TEST_F(UpdateCheckTest, ManifestOf256BytesIsNoData) {
  StartService().SetManifestText(ManifestOfLength(256, "9.256"));
  RunCheck();
  ExpectFailureShowsNothing();
  // Not a usable manifest, so it never became the cached one.
  EXPECT_EQ(reporter_.stored, std::vector<std::string>{""});
  EXPECT_FALSE(fs::exists(CachedManifest()));
}

TEST_F(UpdateCheckTest, ManifestOf257BytesIsRead) {
  StartService().SetManifestText(ManifestOfLength(257, "9.257"));
  RunCheck();
  EXPECT_EQ(reporter_.statuses.back(), kUpdateDataFetched);
  EXPECT_EQ(reporter_.versions, std::vector<std::u16string>{u"9.257"});
  EXPECT_EQ(reporter_.notes, std::vector<std::u16string>{u"line 1\r\n\u6A94"});
}

TEST_F(UpdateCheckTest, MembersOutsideResponseChangeNothing) {
  const std::string text =
      "{\"firmware_version\":\"6.666\",\"release_note\":\"outside\",\"response\":{"
      "\"firmware_version\":\"\xEF\xBB\xBF"
      "2.000\",\"release_note\":\"inside\","
      "\"firmware_files\":[],\"channel\":\"beta\"},\"padding\":\"" +
      std::string(200, '-') + "\"}";
  StartService().SetManifestText(text);
  RunCheck();
  EXPECT_EQ(reporter_.versions, std::vector<std::u16string>{u"2.000"});
  EXPECT_EQ(reporter_.notes, std::vector<std::u16string>{u"inside"});
}

TEST_F(UpdateCheckTest, MalformedManifestsShowNothing) {
  const std::string padding(300, ' ');
  for (const std::string& text :
       {"{\"response\":{\"firmware_version\":\"1.007\",\"release_note\":\"n\"" + padding,
        "{\"response\":[\"1.007\"]}" + padding,
        "{\"response\":{\"firmware_version\":1007,\"release_note\":\"n\"}}" + padding,
        "{\"response\":{\"firmware_version\":\"1\",\"release_note\":\"n\","
        "\"firmware_files\":[{\"file_path\":\"u\",\"size\":4294967296}]}}" +
            padding}) {
    SCOPED_TRACE(text);
    reporter_ = RecordingUpdateCheckReporter();
    if (!service_) StartService();
    service_->SetManifestText(text);
    RunCheck();
    ExpectFailureShowsNothing();
    EXPECT_EQ(reporter_.stored, std::vector<std::string>{""});
    EXPECT_FALSE(fs::exists(CachedManifest()));
  }
}

// A body that is not a usable manifest never replaces the cached one: the
// check goes on as for an unreachable service, with the cached manifest.
struct FaultyAnswer {
  const char* name;
  std::string fault;         // a manifest fault of the service, or
  std::string manifestText;  // a verbatim manifest
  std::string cause;         // what the run log says of the fetch
};

void PrintTo(const FaultyAnswer& c, std::ostream* os) { *os << c.name; }

// A manifest that the rule accepts, longer than the 1 MiB bound.
std::string OversizedManifest() {
  const std::string head = "{\"response\":{\"firmware_version\":\"9.999\",\"release_note\":\"";
  return head + std::string(1024 * 1024, 'n') + "\"}}";
}

class FaultyManifestTest : public UpdateCheckTest,
                           public testing::WithParamInterface<FaultyAnswer> {};

TEST_P(FaultyManifestTest, KeepsTheCachedManifestByteForByte) {
  const FaultyAnswer& c = GetParam();
  const std::string cached = ManifestOfLength(300, "1.003");
  WriteCachedManifest(cached);
  ReferenceUpdateService& service = StartService();
  if (!c.fault.empty()) service.SetManifestFault(c.fault);
  if (!c.manifestText.empty()) service.SetManifestText(c.manifestText);
  DownloadLimits limits;
  limits.stallTimeout = std::chrono::milliseconds(1500);
  CurlDownloader downloader(TestCaFile());
  EXPECT_EQ(RunUpdateCheckProcedure(reporter_, downloader, limits),
            UpdateCheckOutcome::kFromSavedManifest);
  EXPECT_EQ(service.ManifestRequests(), 1);
  EXPECT_EQ(reporter_.statuses,
            (std::vector<std::u16string>{kFetchingUpdateData, kUpdateDataFetched}));
  EXPECT_EQ(reporter_.versions, std::vector<std::u16string>{u"1.003"});
  EXPECT_EQ(reporter_.stored, std::vector<std::string>{cached});
  EXPECT_EQ(ReadWholeFile(CachedManifest()), cached);
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(home_.DataFolder())) (void)entry, ++files;
  EXPECT_EQ(files, 1u) << "no temporary file stays beside features.json";
  ASSERT_FALSE(reporter_.details.empty());
  EXPECT_NE(reporter_.details.front().find(c.cause), std::string::npos)
      << reporter_.details.front();
  EXPECT_NE(std::find(reporter_.details.begin(), reporter_.details.end(),
                      "using features.json from an earlier run (300 bytes)"),
            reporter_.details.end());
}

INSTANTIATE_TEST_SUITE_P(
    Table, FaultyManifestTest,
    testing::Values(
        FaultyAnswer{"EmptyBodyWith200", "empty", "", "HTTP 200, 0 bytes, error (not a usable"},
        FaultyAnswer{"NoContent204", "no-content", "", "HTTP 204, 0 bytes, error (not a usable"},
        FaultyAnswer{"MaintenancePageWith200", "maintenance", "", "(not a usable manifest)"},
        FaultyAnswer{"ChunkedBodyCutOff", "chunked-cut", "",
                     "error 18 (transfer closed with outstanding read data"},
        FaultyAnswer{"BodyThatStalls", "stall", "", "(no data for 1500 ms)"},
        FaultyAnswer{"NotAManifest", "",
                     "{\"status\":\"ok\",\"pad\":\"" + std::string(300, ' ') + "\"}",
                     "(not a usable manifest)"},
        FaultyAnswer{"LongerThanOneMiB", "", OversizedManifest(),
                     "(body longer than 1048576 bytes)"}),
    [](const testing::TestParamInfo<FaultyAnswer>& info) { return std::string(info.param.name); });

TEST_F(UpdateCheckTest, OfflineUsesTheCachedManifest) {
  const std::string cached = ManifestOfLength(400, "1.004");
  WriteCachedManifest(cached);
  GoOffline();
  RunCheck();
  EXPECT_EQ(outcome_, UpdateCheckOutcome::kFromSavedManifest);
  EXPECT_EQ(reporter_.statuses,
            (std::vector<std::u16string>{kFetchingUpdateData, kUpdateDataFetched}));
  EXPECT_EQ(reporter_.versions, std::vector<std::u16string>{u"1.004"});
  EXPECT_EQ(reporter_.stored, std::vector<std::string>{cached});
  EXPECT_EQ(ReadWholeFile(CachedManifest()), cached);
}

TEST_F(UpdateCheckTest, OfflineWithoutCacheShowsNothing) {
  GoOffline();
  RunCheck();
  ExpectFailureShowsNothing();
  EXPECT_EQ(reporter_.stored, std::vector<std::string>{""});
  EXPECT_FALSE(fs::exists(CachedManifest()));
  EXPECT_TRUE(fs::is_directory(home_.DataFolder()));
}

// An error page never replaces a good cached manifest.
TEST_F(UpdateCheckTest, ErrorStatusKeepsTheCachedManifest) {
  const std::string cached = ManifestOfLength(300, "1.003");
  WriteCachedManifest(cached);
  StartService().SetManifestStatus(500);
  RunCheck();
  EXPECT_EQ(outcome_, UpdateCheckOutcome::kFromSavedManifest);
  EXPECT_EQ(reporter_.versions, std::vector<std::u16string>{u"1.003"});
  EXPECT_EQ(ReadWholeFile(CachedManifest()), cached);
}

TEST_F(UpdateCheckTest, NoHomeMeansNoManifestAndNoFiles) {
  ::unsetenv("HOME");
  StartService();
  RunCheck();
  ExpectFailureShowsNothing();
  EXPECT_EQ(reporter_.stored, std::vector<std::string>{""});
  EXPECT_EQ(service_->ManifestRequests(), 0);
}

}  // namespace
}  // namespace kestrune
