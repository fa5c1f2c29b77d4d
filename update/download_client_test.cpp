// The platform downloader against the reference update service: libcurl
// with the service in-process on Linux; WinINet under Wine, with the service
// started around the test program by tools/update_service/with-update-service.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <future>
#include <ios>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

#include "testing/temp_folder.h"
#include "testing/whole_file.h"
#include "update/downloader.h"
#include "update/text_conversion.h"

#ifdef _WIN32
#include <windows.h>

#include "tools/update_service/pattern_bytes.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/update_service/reference_update_service.h"
#include <curl/curl.h>

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
    const char* plain = std::getenv("KESTRUNE_TEST_PLAIN_PORT");
    if (port == nullptr || untrusted == nullptr || plain == nullptr) {
      ADD_FAILURE() << "run under tools/update_service/with-update-service";
      return;
    }
    base_ = std::string("https://localhost:") + port;
    untrustedBase_ = std::string("https://localhost:") + untrusted;
    plainBase_ = std::string("http://localhost:") + plain;
#else
    UpdateServiceOptions options = TestServiceOptions(0);
    options.untrustedListener = true;
    options.plainListener = true;
    service_ = std::make_unique<ReferenceUpdateService>(options);
    service_->Start();
    base_ = service_->BaseUrl();
    untrustedBase_ = "https://localhost:" + std::to_string(service_->UntrustedPort());
    plainBase_ = "http://localhost:" + std::to_string(service_->PlainPort());
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
  std::u16string PlainUrl(const std::string& path) const {
    return Utf8ToWideText(plainBase_ + path);
  }

 private:
#ifndef _WIN32
  std::unique_ptr<ReferenceUpdateService> service_;
  std::unique_ptr<CurlDownloader> downloader_;
#endif
  std::string base_;
  std::string untrustedBase_;
  std::string plainBase_;
};

class DownloadTest : public testing::Test {
 protected:
  bool Download(const std::u16string& url) {
    return service_.downloader().DownloadUrlToFile(url, target_.u16string());
  }
  DownloadResult Download(const std::u16string& url, const DownloadLimits& limits) {
    return service_.downloader().Download(url, target_.u16string(), limits);
  }
  // Only the target itself (and `also`) may remain in the folder: no
  // temporary files.
  void ExpectNoStrayFiles(const std::vector<std::string>& also = {}) {
    for (const auto& entry : fs::directory_iterator(folder_)) {
      const std::string name = entry.path().filename().string();
      if (std::find(also.begin(), also.end(), name) != also.end()) continue;
      EXPECT_EQ(entry.path().filename(), target_.filename()) << "left behind: " << entry.path();
    }
  }

  ServiceUnderTest service_;
  TempFolder temp_{"download"};
  const fs::path folder_ = temp_.path();
  const fs::path target_ = folder_ / "data1.bin";
};

// Which of the service's listeners serves a case's path.
enum class Listener { kTrusted, kUntrusted, kPlain };

std::u16string UrlOn(const ServiceUnderTest& service, Listener listener, const std::string& path) {
  switch (listener) {
    case Listener::kUntrusted: return service.UntrustedUrl(path);
    case Listener::kPlain: return service.PlainUrl(path);
    case Listener::kTrusted: break;
  }
  return service.Url(path);
}

struct StoredCase {
  const char* name;
  std::string path;
  Listener listener;
  std::size_t bytes;  // of the service's pattern that the body is
};

void PrintTo(const StoredCase& c, std::ostream* os) { *os << c.name; }

class StoredDownloadTest : public DownloadTest, public testing::WithParamInterface<StoredCase> {};

TEST_P(StoredDownloadTest, WholeBodyReplacesTarget) {
  const StoredCase& c = GetParam();
  WriteWholeFile(target_, "older content that is longer than nothing");
  ASSERT_TRUE(Download(UrlOn(service_, c.listener, c.path)));
  EXPECT_EQ(ReadWholeFile(target_), PatternBytes(c.bytes));
  ExpectNoStrayFiles();
}

INSTANTIATE_TEST_SUITE_P(
    Table, StoredDownloadTest,
    testing::Values(
        StoredCase{"WithLength", "/data/100000", Listener::kTrusted, 100000},
        StoredCase{"Chunked", "/fault/chunked/50000", Listener::kTrusted, 50000},
        StoredCase{"AfterARedirect", "/fault/redirect/data/3000", Listener::kTrusted, 3000},
        StoredCase{"AfterTenRedirects", "/fault/hops/10/data/3000", Listener::kTrusted, 3000},
        // The plain listener answers, so a refused downgrade below is the
        // downloader's doing.
        StoredCase{"PlainHttpAskedFor", "/data/3000", Listener::kPlain, 3000}),
    [](const testing::TestParamInfo<StoredCase>& info) { return std::string(info.param.name); });

#ifndef _WIN32
// A downloaded file gets the mode every file the user creates gets: what
// the umask leaves of rw-rw-rw-, neither more (a private umask keeps it
// private) nor less.
TEST_F(DownloadTest, StoredFileFollowsTheUmask) {
  for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
    const mode_t before = ::umask(mask);
    const bool stored = Download(service_.Url("/data/3000"));
    ::umask(before);
    ASSERT_TRUE(stored) << std::oct << mask;
    struct stat info {};
    ASSERT_EQ(::stat(target_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0666 & ~mask) << "umask " << std::oct << mask;
  }
}
#endif

#ifndef _WIN32
// An option libcurl refuses (here a URL past its 8 MB input limit) ends the
// download before anything is sent, and says which option it was.
TEST_F(DownloadTest, AnOptionLibcurlRefusesEndsTheDownload) {
  WriteWholeFile(target_, "kept");
  const std::string huge(8'000'001, 'a');
  const DownloadResult result = Download(service_.Url("/data/3000?" + huge), DownloadLimits{});
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.errorCode, CURLE_BAD_FUNCTION_ARGUMENT);
  EXPECT_EQ(result.errorText.rfind("set CURLOPT_URL: ", 0), 0u) << result.errorText;
  EXPECT_EQ(ReadWholeFile(target_), "kept");
  ExpectNoStrayFiles();
}
#endif

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

// A body that stops arriving fails once the stall bound has passed, well
// before the service would ever send the rest.
TEST_F(DownloadTest, StalledBodyFailsAfterTheStallBound) {
  WriteWholeFile(target_, "cached");
  DownloadLimits limits;
  limits.stallTimeout = std::chrono::milliseconds(1500);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(Download(service_.Url("/fault/stall/100000"), limits).ok);
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_GE(took, limits.stallTimeout);
  EXPECT_LT(took, limits.stallTimeout + std::chrono::seconds(4));
  EXPECT_EQ(ReadWholeFile(target_), "cached");
  ExpectNoStrayFiles();
}

// A slow body that keeps arriving is no stall, however long it takes.
TEST_F(DownloadTest, SlowButFlowingBodyIsNoStall) {
  DownloadLimits limits;
  limits.stallTimeout = std::chrono::milliseconds(1500);
  ASSERT_TRUE(Download(service_.Url("/fault/slow/20000/800"), limits).ok);
  EXPECT_EQ(ReadWholeFile(target_), PatternBytes(20000));
}

struct SizeCase {
  const char* name;
  std::string path;
  std::uint64_t maxBytes;
  bool complete;
};

void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.name; }

class SizeBoundTest : public DownloadTest, public testing::WithParamInterface<SizeCase> {};

TEST_P(SizeBoundTest, BodyLongerThanTheBoundFailsAsTooLarge) {
  const SizeCase& c = GetParam();
  WriteWholeFile(target_, "cached");
  DownloadLimits limits;
  limits.maxBytes = c.maxBytes;
  const auto started = std::chrono::steady_clock::now();
  const DownloadResult result = Download(service_.Url(c.path), limits);
  EXPECT_EQ(result.ok, c.complete);
  EXPECT_EQ(result.tooLarge, !c.complete);
  if (!c.complete) {
    EXPECT_EQ(ReadWholeFile(target_), "cached");
    // The slow body's second half comes after 5 s; the bound stops it first.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));
  }
  ExpectNoStrayFiles();
}

INSTANTIATE_TEST_SUITE_P(
    Table, SizeBoundTest,
    testing::Values(SizeCase{"ExactlyTheBound", "/data/5000", 5000, true},
                    SizeCase{"OneByteOverWithLength", "/data/5001", 5000, false},
                    SizeCase{"OneByteOverChunked", "/fault/chunked/5001", 5000, false},
                    SizeCase{"StopsBeforeTheRestArrives", "/fault/slow/200000/5000", 1000, false}),
    [](const testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.name); });

// The complete body is offered for judgement before it replaces the target;
// a refused one leaves the target as it was.
TEST_F(DownloadTest, RefusedBodyKeepsTheTarget) {
  WriteWholeFile(target_, "cached");
  std::string offered;
  DownloadLimits limits;
  limits.acceptBody = [&](const std::string& body) {
    offered = body;
    return false;
  };
  EXPECT_FALSE(Download(service_.Url("/data/3000"), limits).ok);
  EXPECT_EQ(offered, PatternBytes(3000));
  EXPECT_EQ(ReadWholeFile(target_), "cached");
  ExpectNoStrayFiles();
}

// What earlier processes left in the folder (ended mid-download) goes at
// the next download, of whichever target: a file that is never fetched
// again leaves nothing behind. Files of other naming and a temporary file
// that a download in progress holds stay.
TEST_F(DownloadTest, LeftoversOfEarlierDownloadsAreRemoved) {
  const std::vector<std::string> leftovers = {"data1.bin.part-4711-0", "data1.bin.part-Xy12Ab",
                                              "data2.bin.part-1", "data7.bin.part-Q0w9Er",
                                              "features.json.part-81-3"};
  const std::vector<std::string> others = {"notes.part-",        "data3.bin.partial", ".part-123",
                                           "data4.bin.part-a b", "data5.bin.part-x~", "update.log"};
  for (const std::string& name : leftovers) WriteWholeFile(folder_ / name, "leftover");
  for (const std::string& name : others) WriteWholeFile(folder_ / name, "someone else's");
  const fs::path held = folder_ / "data2.bin.part-held";
  WriteWholeFile(held, "in use");
#ifdef _WIN32
  HANDLE holder = CreateFileW(held.wstring().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
#else
  const int holder = ::open(held.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
#endif
  ASSERT_TRUE(Download(service_.Url("/data/10")));
#ifdef _WIN32
  CloseHandle(holder);
#else
  ::close(holder);
#endif
  EXPECT_EQ(ReadWholeFile(target_), PatternBytes(10));
  std::vector<std::string> stay = others;
  stay.push_back(held.filename().string());
  ExpectNoStrayFiles(stay);
  for (const std::string& name : stay) EXPECT_TRUE(fs::exists(folder_ / name)) << name;
}

// A finished body stays locked until it has replaced its target: a second
// download of the same target that begins meanwhile (the window and the
// command line at once) does not take it for a leftover.
TEST_F(DownloadTest, FinishedBodyIsNoLeftoverForASecondDownload) {
  DownloadResult second;
  DownloadLimits limits;
  limits.acceptBody = [&](const std::string&) {
    second = Download(service_.Url("/data/2000"), DownloadLimits{});
    return true;
  };
  const DownloadResult first = Download(service_.Url("/data/5000"), limits);
  EXPECT_TRUE(second.ok) << second.Describe();
  EXPECT_TRUE(first.ok) << first.Describe();
  EXPECT_EQ(ReadWholeFile(target_), PatternBytes(5000));
  ExpectNoStrayFiles();
}

struct FailureCase {
  const char* name;
  std::string path;
  Listener listener;  // that serves `path`
  // What the error text says of the cause; empty where the HTTP status is
  // the cause.
  std::string cause;
};

// Test names and failure messages show the case by its name.
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class FailedDownloadTest : public DownloadTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(FailedDownloadTest, ReturnsFalseAndKeepsTargetByteForByte) {
  const std::string good = "{\"response\":\"the manifest of an earlier run\"}\n";
  WriteWholeFile(target_, good);
  const FailureCase& c = GetParam();
  const DownloadResult result = Download(UrlOn(service_, c.listener, c.path), DownloadLimits{});
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(ReadWholeFile(target_), good);
  ExpectNoStrayFiles();
  if (!c.cause.empty()) {
    EXPECT_NE(result.errorText.find(c.cause), std::string::npos) << result.Describe();
    EXPECT_NE(result.Describe().find(c.cause), std::string::npos) << result.Describe();
  }
}

// The error of a connection that the loopback refuses, in the platform's
// own words.
#ifdef _WIN32
const char kRefusedConnection[] = "HttpSendRequest";
#else
const char kRefusedConnection[] = "Couldn't connect to server";
#endif

INSTANTIATE_TEST_SUITE_P(
    Table, FailedDownloadTest,
    testing::Values(FailureCase{"NotFoundWithHtmlBody", "/fault/404", Listener::kTrusted, ""},
                    FailureCase{"ServerError", "/fault/500", Listener::kTrusted, ""},
                    FailureCase{"BodyCutOff", "/fault/cut/50000", Listener::kTrusted, ""},
                    FailureCase{"UntrustedCertificate", "/data/100", Listener::kUntrusted, ""},
                    FailureCase{"ElevenRedirectsInARow", "/fault/hops/11/data/100",
                                Listener::kTrusted, "more than 10 redirects"},
                    FailureCase{"RedirectLoop", "/fault/redirect-loop", Listener::kTrusted,
                                "more than 10 redirects"},
                    FailureCase{"RedirectFromHttpsToHttp", "/fault/redirect-http/data/100",
                                Listener::kTrusted, "redirect from https to http refused"},
                    // http, then https, then back to http.
                    FailureCase{"RedirectFromHttpsToHttpLaterInAChain",
                                "/fault/redirect/fault/redirect-http/data/100", Listener::kPlain,
                                "redirect from https to http refused"},
                    FailureCase{"RedirectToADeadHost", "/fault/redirect-dead", Listener::kTrusted,
                                kRefusedConnection}),
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
