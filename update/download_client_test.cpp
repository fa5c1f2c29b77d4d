// The platform downloader against the reference update service: libcurl
// with the service in-process on Linux; WinINet under Wine, with the service
// started around the test program by tools/update_service/with-update-service.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

#include "testing/temp_folder.h"
#include "testing/whole_file.h"
#include "update/downloader.h"
#include "update/text_conversion.h"

#ifdef _WIN32
#include "tools/update_service/pattern_bytes.h"
#else
#include "tools/update_service/reference_update_service.h"
#include "update/curl_downloader.h"
#endif

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadWholeFile;
using testing_support::TempFolder;
using testing_support::WriteWholeFile;

// Where the service listens and the downloader that the build uses.
class ServiceUnderTest {
 public:
  ServiceUnderTest() {
#ifdef _WIN32
    const char* port = std::getenv("KESTRUNE_TEST_SERVICE_PORT");
    const char* untrusted = std::getenv("KESTRUNE_TEST_UNTRUSTED_PORT");
    if (port == nullptr || untrusted == nullptr) {
      ADD_FAILURE() << "run under tools/update_service/with-update-service";
      return;
    }
    base_ = std::string("https://localhost:") + port;
    untrustedBase_ = std::string("https://localhost:") + untrusted;
#else
    UpdateServiceOptions options = TestServiceOptions(0);
    options.untrustedListener = true;
    service_ = std::make_unique<ReferenceUpdateService>(options);
    service_->Start();
    base_ = service_->BaseUrl();
    untrustedBase_ = "https://localhost:" + std::to_string(service_->UntrustedPort());
    downloader_ = std::make_unique<CurlDownloader>(TestCaFile());
#endif
  }

#ifdef _WIN32
  Downloader& downloader() { return PlatformDownloader(); }
#else
  Downloader& downloader() { return *downloader_; }
#endif
  std::u16string Url(const std::string& path) const { return Utf8ToWideText(base_ + path); }
  std::u16string UntrustedUrl(const std::string& path) const {
    return Utf8ToWideText(untrustedBase_ + path);
  }

 private:
#ifndef _WIN32
  std::unique_ptr<ReferenceUpdateService> service_;
  std::unique_ptr<CurlDownloader> downloader_;
#endif
  std::string base_;
  std::string untrustedBase_;
};

class DownloadTest : public testing::Test {
 protected:
  bool Download(const std::u16string& url) {
    return service_.downloader().DownloadUrlToFile(url, target_.u16string());
  }
  // Only the target itself may remain in the folder: no temporary files.
  void ExpectNoStrayFiles() {
    for (const auto& entry : fs::directory_iterator(folder_)) {
      EXPECT_EQ(entry.path().filename(), target_.filename()) << "left behind: " << entry.path();
    }
  }

  ServiceUnderTest service_;
  TempFolder temp_{"download"};
  const fs::path folder_ = temp_.path();
  const fs::path target_ = folder_ / "data1.bin";
};

TEST_F(DownloadTest, WholeBodyReplacesTarget) {
  WriteWholeFile(target_, "older content that is longer than nothing");
  ASSERT_TRUE(Download(service_.Url("/data/100000")));
  EXPECT_EQ(ReadWholeFile(target_), PatternBytes(100000));
  ExpectNoStrayFiles();
}

TEST_F(DownloadTest, SendsTheProductUserAgent) {
  ASSERT_TRUE(Download(service_.Url("/echo/user-agent")));
  EXPECT_EQ(ReadWholeFile(target_), "InetURL/1.0");
}

TEST_F(DownloadTest, EmptyBodyLeavesEmptyFile) {
  WriteWholeFile(target_, "old");
  ASSERT_TRUE(Download(service_.Url("/fault/empty")));
  ASSERT_TRUE(fs::exists(target_));
  EXPECT_EQ(fs::file_size(target_), 0u);
  ExpectNoStrayFiles();
}

TEST_F(DownloadTest, RedirectIsFollowed) {
  ASSERT_TRUE(Download(service_.Url("/fault/redirect/data/3000")));
  EXPECT_EQ(ReadWholeFile(target_), PatternBytes(3000));
}

enum class Certificate { kTrusted, kUntrusted };

struct FailureCase {
  const char* name;
  std::string path;
  Certificate certificate;  // of the listener that serves `path`
};

// Test names and failure messages show the case by its name.
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class FailedDownloadTest : public DownloadTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(FailedDownloadTest, ReturnsFalseAndKeepsTargetByteForByte) {
  const std::string good = "{\"response\":\"the manifest of an earlier run\"}\n";
  WriteWholeFile(target_, good);
  const FailureCase& c = GetParam();
  EXPECT_FALSE(Download(c.certificate == Certificate::kUntrusted ? service_.UntrustedUrl(c.path)
                                                                 : service_.Url(c.path)));
  EXPECT_EQ(ReadWholeFile(target_), good);
  ExpectNoStrayFiles();
}

INSTANTIATE_TEST_SUITE_P(
    Table, FailedDownloadTest,
    testing::Values(FailureCase{"NotFoundWithHtmlBody", "/fault/404", Certificate::kTrusted},
                    FailureCase{"ServerError", "/fault/500", Certificate::kTrusted},
                    FailureCase{"BodyCutOff", "/fault/cut/50000", Certificate::kTrusted},
                    FailureCase{"UntrustedCertificate", "/data/100", Certificate::kUntrusted}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(DownloadTest, UnreachableHostKeepsTarget) {
  WriteWholeFile(target_, "cached");
  // Port 1 on the loopback has no listener.
  EXPECT_FALSE(Download(u"https://localhost:1/api/v1/devices/firmwareUpdate?model=K1"));
  EXPECT_EQ(ReadWholeFile(target_), "cached");
  ExpectNoStrayFiles();
}

TEST_F(DownloadTest, MissingFolderFails) {
  const fs::path missing = folder_ / "no such folder" / "data1.bin";
  EXPECT_FALSE(
      service_.downloader().DownloadUrlToFile(service_.Url("/data/10"), missing.u16string()));
  EXPECT_FALSE(fs::exists(missing.parent_path()));
}

// The first half of a slow body is on disk (in the temporary file beside the
// target) while the second half has not been sent yet.
TEST_F(DownloadTest, ChunksReachTheDiskAsTheyArrive) {
  const size_t total = 200000;
  auto result = std::async(std::launch::async,
                           [this] { return Download(service_.Url("/fault/slow/200000/5000")); });
  uintmax_t seen = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (seen == 0 && std::chrono::steady_clock::now() < deadline) {
    for (const auto& entry : fs::directory_iterator(folder_)) {
      const std::string name = entry.path().filename().string();
      std::error_code ec;
      const uintmax_t size = fs::file_size(entry.path(), ec);
      if (name.rfind("data1.bin.part-", 0) == 0 && !ec && size >= total / 4) seen = size;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_GE(seen, total / 4);
  EXPECT_LE(seen, total / 2);
  EXPECT_FALSE(fs::exists(target_)) << "the target appears only when the body is complete";
  ASSERT_TRUE(result.get());
  EXPECT_EQ(ReadWholeFile(target_), PatternBytes(total));
  ExpectNoStrayFiles();
}

}  // namespace
}  // namespace kestrune
