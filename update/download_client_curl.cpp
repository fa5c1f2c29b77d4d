// Downloads with libcurl into a temporary file beside the target, which
// replaces the target only when the whole body arrived with a 2xx status
// within the download's limits and was accepted.

#include <curl/curl.h>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

#include "update/curl_downloader.h"
#include "update/text_conversion.h"

namespace kestrune {
namespace {

using Clock = std::chrono::steady_clock;

constexpr long kChunkBytes = 1024;  // at most this much reaches the file per write
constexpr char kTempSuffix[] = ".part-";

struct Transfer {
  CURL* curl;
  int fd;
  const DownloadLimits& limits;
  std::uint64_t received = 0;
  bool tooLarge = false;
  int writeError = 0;  // errno of a failed write to the file (ENOSPC, EIO, ...)
  // The stall watchdog: how much had arrived, and when that last changed.
  curl_off_t lastCount = 0;
  Clock::time_point lastProgress = Clock::now();
  bool stalled = false;
  // Once a request of the transfer went over TLS, none may go without.
  bool usedTls = false;
  bool leftTls = false;
};

bool IsSuccessStatus(long status) { return status >= 200 && status <= 299; }
bool IsRedirect(long status) { return status >= 300 && status <= 399; }

// Writes each piece as it arrives; a short count stops the transfer.
size_t WriteChunk(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t total = size * count;
  long status = 0;
  curl_easy_getinfo(transfer->curl, CURLINFO_RESPONSE_CODE, &status);
  if (!IsSuccessStatus(status)) return 0;  // an error page is never stored
  if (transfer->limits.maxBytes && transfer->received + total > *transfer->limits.maxBytes) {
    transfer->tooLarge = true;
    return 0;
  }
  size_t done = 0;
  while (done < total) {
    const ssize_t n = ::write(transfer->fd, data + done, total - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      transfer->writeError = n < 0 ? errno : EIO;
      return 0;
    }
    done += static_cast<size_t>(n);
  }
  transfer->received += total;
  return total;
}

// libcurl calls this at least once a second, also while nothing arrives, so
// the stall bound holds from connecting to the last byte.
int WatchProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<Transfer*>(user);
  const Clock::time_point now = Clock::now();
  if (downloaded != transfer->lastCount) {
    transfer->lastCount = downloaded;
    transfer->lastProgress = now;
    return 0;
  }
  transfer->stalled = now - transfer->lastProgress > transfer->limits.stallTimeout;
  return transfer->stalled ? 1 : 0;
}

// libcurl calls this before each request of the transfer, redirects
// included: a redirect from https to http is refused, however the chain
// began and whatever the letter case of its scheme.
int CheckScheme(void* user, char*, char*, int, int) {
  auto* transfer = static_cast<Transfer*>(user);
  const char* scheme = nullptr;
  curl_easy_getinfo(transfer->curl, CURLINFO_SCHEME, &scheme);
  const bool tls = scheme != nullptr && ::strcasecmp(scheme, "https") == 0;
  transfer->leftTls = transfer->usedTls && !tls;
  transfer->usedTls = transfer->usedTls || tls;
  return transfer->leftTls ? CURL_PREREQFUNC_ABORT : CURL_PREREQFUNC_OK;
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

// True for "<name>.part-<unique>", the temporary files of this downloader
// (the unique part from mkostemp, or from the Windows build's process id
// and counter). Other files in the folder are never touched.
bool IsOwnTempName(const std::string& name) {
  const std::string::size_type at = name.rfind(kTempSuffix);
  if (at == std::string::npos || at == 0) return false;
  const std::string unique = name.substr(at + sizeof kTempSuffix - 1);
  if (unique.empty()) return false;
  for (const char c : unique) {
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alnum && c != '-') return false;
  }
  return true;
}

// Removes the temporary files that earlier downloads left in the folder of
// `target`, of any target: a file whose download was never tried again
// would stay for good otherwise. A download in progress holds a lock on its
// own until it has replaced its target, so only files nobody holds go.
void RemoveLeftovers(const std::string& target) {
  const std::string::size_type slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "./" : target.substr(0, slash + 1);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (!IsOwnTempName(name)) continue;
    const std::string path = folder + name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      ::unlink(path.c_str());
    }
    ::close(fd);
  }
}

// The process's file mode creation mask, read without changing it (umask()
// can only be read by setting it, which would race with other threads
// creating files); Linux gives it in /proc/self/status since 4.7.
mode_t ProcessUmask() {
  if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status) != nullptr) {
      found = std::sscanf(line, "Umask: %o", &mask) == 1;
    }
    std::fclose(status);
    if (found) return static_cast<mode_t>(mask);
  }
  static const mode_t kAtStart = [] {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
  }();
  return kAtStart;
}

// Creates the temporary file from the template in `name` (its name is
// written back there) and locks it, which marks it as in use for
// RemoveLeftovers. Another process's clean-up may remove the file between
// its creation and the lock; a fresh one is made then.
int CreateLockedTempFile(std::vector<char>& name) {
  const std::vector<char> pattern = name;
  for (int attempt = 1;; ++attempt) {
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return fd;
    ::flock(fd, LOCK_EX);
    struct stat info {};
    if (attempt == 3 || ::fstat(fd, &info) != 0 || info.st_nlink > 0) return fd;
    ::close(fd);
    name = pattern;
  }
}

// Reads the whole temporary file back through the descriptor that holds
// its lock, so what is judged is what will replace the target.
bool ReadBack(int fd, std::string& body) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  body.resize(static_cast<std::size_t>(info.st_size));
  std::size_t done = 0;
  while (done < body.size()) {
    const ssize_t n = ::pread(fd, &body[done], body.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;  // shorter than it was a moment ago
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

DownloadResult CurlDownloader::Download(const std::u16string& url, const std::u16string& path,
                                        const DownloadLimits& limits) {
  InitCurlOnce();
  DownloadResult result;
  const std::string target = WideToUtf8Text(path);
  const std::string address = WideToUtf8Text(url);
  RemoveLeftovers(target);
  std::vector<char> tempName(target.begin(), target.end());
  const std::string suffix = std::string(kTempSuffix) + "XXXXXX";
  tempName.insert(tempName.end(), suffix.begin(), suffix.end());
  tempName.push_back('\0');
  const int fd = CreateLockedTempFile(tempName);
  if (fd < 0) {  // missing folder, no access
    result.errorCode = result.systemError = errno;
    result.errorText = std::string("create file: ") + std::strerror(errno);
    return result;
  }
  // mkostemp made it 0600; the target gets the mode any file the user
  // creates gets, as a file written with open(O_CREAT, 0666) would.
  ::fchmod(fd, 0666 & ~ProcessUmask());

  EasyHandle handle;
  bool ok = handle.get() != nullptr;
  if (ok) {
    Transfer transfer{handle.get(), fd, limits};
    CURL* c = handle.get();
    char errorBuffer[CURL_ERROR_SIZE] = {};
    // Every option must take: a libcurl that lacks one (the protocol lists
    // came with 7.85.0) or refuses a value would otherwise fetch without
    // the safeguard the option stands for. The first refusal ends the
    // download before anything is sent, naming the option.
    CURLcode setCode = CURLE_OK;
    const char* refusedOption = nullptr;
    const auto set = [&](const char* name, CURLoption option, auto value) {
      if (setCode != CURLE_OK) return;
      setCode = curl_easy_setopt(c, option, value);
      if (setCode != CURLE_OK) refusedOption = name;
    };
#define KESTRUNE_SET(option, value) set(#option, option, value)
    KESTRUNE_SET(CURLOPT_ERRORBUFFER, errorBuffer);
    KESTRUNE_SET(CURLOPT_URL, address.c_str());
    KESTRUNE_SET(CURLOPT_USERAGENT, "InetURL/1.0");
    KESTRUNE_SET(CURLOPT_PROTOCOLS_STR, "http,https");
    KESTRUNE_SET(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    KESTRUNE_SET(CURLOPT_PREREQFUNCTION, &CheckScheme);
    KESTRUNE_SET(CURLOPT_PREREQDATA, &transfer);
    KESTRUNE_SET(CURLOPT_FOLLOWLOCATION, 1L);
    KESTRUNE_SET(CURLOPT_MAXREDIRS, static_cast<long>(limits.maxRedirects));
    KESTRUNE_SET(CURLOPT_NOSIGNAL, 1L);
    KESTRUNE_SET(CURLOPT_BUFFERSIZE, kChunkBytes);
    KESTRUNE_SET(CURLOPT_WRITEFUNCTION, &WriteChunk);
    KESTRUNE_SET(CURLOPT_WRITEDATA, &transfer);
    KESTRUNE_SET(CURLOPT_NOPROGRESS, 0L);
    KESTRUNE_SET(CURLOPT_XFERINFOFUNCTION, &WatchProgress);
    KESTRUNE_SET(CURLOPT_XFERINFODATA, &transfer);
    if (limits.maxBytes) {
      // Refused at once when the announced length is already too long.
      const std::uint64_t most = std::numeric_limits<curl_off_t>::max();
      KESTRUNE_SET(CURLOPT_MAXFILESIZE_LARGE,
                   static_cast<curl_off_t>(std::min(*limits.maxBytes, most)));
    }
    if (!caFile_.empty()) KESTRUNE_SET(CURLOPT_CAINFO, caFile_.c_str());
#undef KESTRUNE_SET
    if (setCode != CURLE_OK) {
      result.errorCode = setCode;
      result.errorText = std::string("set ") + refusedOption + ": " + curl_easy_strerror(setCode);
      ::unlink(tempName.data());
      ::close(fd);
      return result;
    }
    const CURLcode code = curl_easy_perform(c);
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t received = 0;
    curl_easy_getinfo(c, CURLINFO_SIZE_DOWNLOAD_T, &received);
    result.httpStatus = status;
    result.bytes = received > 0 ? static_cast<std::uint64_t>(received) : 0;
    result.tooLarge = transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED;
    // An error status stops the transfer at its first body byte; the status
    // itself is the cause then, not the stop. A redirect status is the last
    // answer before the transfer ended elsewhere (refused, too many, a dead
    // next hop): the cause is that end.
    if (code != CURLE_OK && (status == 0 || IsSuccessStatus(status) || IsRedirect(status))) {
      result.errorCode = code;
      if (transfer.stalled) {
        result.errorText = "no data for " + std::to_string(limits.stallTimeout.count()) + " ms";
      } else if (transfer.leftTls) {
        result.errorText = "redirect from https to http refused";
      } else if (code == CURLE_TOO_MANY_REDIRECTS) {
        result.errorText = "more than " + std::to_string(limits.maxRedirects) + " redirects";
      } else if (transfer.writeError != 0) {
        result.systemError = transfer.writeError;
        result.errorText = std::string("write file: ") + std::strerror(transfer.writeError);
      } else if (result.tooLarge) {
        result.errorText = "body longer than " + std::to_string(*limits.maxBytes) + " bytes";
      } else {
        result.errorText = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(code);
      }
    }
    ok = code == CURLE_OK && IsSuccessStatus(status);
  }
  ok = ok && ::fsync(fd) == 0;  // durable before it replaces the target
  // The lock stays until the file has replaced its target (or is gone):
  // another process's download that starts meanwhile must not take it for
  // a leftover.
  if (ok && limits.acceptBody) {
    std::string body;
    if (!ReadBack(fd, body)) {
      ok = false;
      result.errorCode = errno;
      result.errorText = std::string("read back: ") + std::strerror(errno);
    } else if (!limits.acceptBody(body)) {
      ok = false;
      result.errorText = "body refused";
    }
  }
  if (ok && std::rename(tempName.data(), target.c_str()) == 0) {
    ::close(fd);  // the body is on disk already (fsync above)
    result.ok = true;
    return result;
  }
  if (result.errorText.empty() && IsSuccessStatus(result.httpStatus)) {
    result.errorCode = result.systemError = errno;
    result.errorText = std::string("store file: ") + std::strerror(errno);
  }
  ::unlink(tempName.data());
  ::close(fd);
  return result;
}

Downloader& PlatformDownloader() {
  static CurlDownloader downloader;
  return downloader;
}

}  // namespace kestrune
