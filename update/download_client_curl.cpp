// Downloads with libcurl into a temporary file beside the target, which
// replaces the target only when the whole body arrived with a 2xx status.

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "update/curl_downloader.h"
#include "update/text_conversion.h"

namespace kestrune {
namespace {

constexpr long kChunkBytes = 1024;  // at most this much reaches the file per write

struct Transfer {
  CURL* curl;
  int fd;
};

bool IsSuccessStatus(long status) { return status >= 200 && status <= 299; }

// Writes each piece as it arrives; a short count stops the transfer.
size_t WriteChunk(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t total = size * count;
  long status = 0;
  curl_easy_getinfo(transfer->curl, CURLINFO_RESPONSE_CODE, &status);
  if (!IsSuccessStatus(status)) return 0;  // an error page is never stored
  size_t done = 0;
  while (done < total) {
    const ssize_t n = ::write(transfer->fd, data + done, total - done);
    if (n <= 0) return 0;
    done += static_cast<size_t>(n);
  }
  return total;
}

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

class EasyHandle {
 public:
  EasyHandle() : curl_(curl_easy_init()) {}
  ~EasyHandle() {
    if (curl_ != nullptr) curl_easy_cleanup(curl_);
  }
  EasyHandle(const EasyHandle&) = delete;
  EasyHandle& operator=(const EasyHandle&) = delete;
  CURL* get() const { return curl_; }

 private:
  CURL* curl_;
};

}  // namespace

bool CurlDownloader::DownloadUrlToFile(const std::u16string& url, const std::u16string& path) {
  return Download(url, path).ok;
}

DownloadResult CurlDownloader::Download(const std::u16string& url, const std::u16string& path) {
  InitCurlOnce();
  DownloadResult result;
  const std::string target = WideToUtf8Text(path);
  const std::string address = WideToUtf8Text(url);
  std::vector<char> tempName(target.begin(), target.end());
  const std::string suffix = ".part-XXXXXX";
  tempName.insert(tempName.end(), suffix.begin(), suffix.end());
  tempName.push_back('\0');
  const int fd = ::mkostemp(tempName.data(), O_CLOEXEC);
  if (fd < 0) {  // missing folder, no access
    result.errorCode = errno;
    result.errorText = std::string("create file: ") + std::strerror(errno);
    return result;
  }
  ::fchmod(fd, 0644);

  EasyHandle handle;
  bool ok = handle.get() != nullptr;
  if (ok) {
    Transfer transfer{handle.get(), fd};
    CURL* c = handle.get();
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(c, CURLOPT_URL, address.c_str());
    curl_easy_setopt(c, CURLOPT_USERAGENT, "InetURL/1.0");
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_BUFFERSIZE, kChunkBytes);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &WriteChunk);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
    if (!caFile_.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, caFile_.c_str());
    const CURLcode code = curl_easy_perform(c);
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t received = 0;
    curl_easy_getinfo(c, CURLINFO_SIZE_DOWNLOAD_T, &received);
    result.httpStatus = status;
    result.bytes = received > 0 ? static_cast<std::uint64_t>(received) : 0;
    // An error status stops the transfer at its first body byte; the status
    // itself is the cause then, not the stop.
    if (code != CURLE_OK && (status == 0 || IsSuccessStatus(status))) {
      result.errorCode = code;
      result.errorText = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(code);
    }
    ok = code == CURLE_OK && IsSuccessStatus(status);
  }
  ok = ok && ::fsync(fd) == 0;  // durable before it replaces the target
  ok = ::close(fd) == 0 && ok;
  if (ok && std::rename(tempName.data(), target.c_str()) == 0) {
    result.ok = true;
    return result;
  }
  if (result.errorText.empty() && result.httpStatus >= 200 && result.httpStatus <= 299) {
    result.errorCode = errno;
    result.errorText = std::string("store file: ") + std::strerror(errno);
  }
  ::unlink(tempName.data());
  return result;
}

Downloader& PlatformDownloader() {
  static CurlDownloader downloader;
  return downloader;
}

}  // namespace kestrune
