// Downloads with WinINet into a temporary file beside the target, which
// replaces the target only when the whole body arrived with a 2xx status.
// WinINet ends a cut-off body like a complete one (a read of 0 bytes), so
// the bytes received are compared with Content-Length where there is one.

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <string>

#include "update/downloader.h"

namespace kestrune {
namespace {

constexpr DWORD kChunkBytes = 1024;

class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
  ~InternetHandle() {
    if (handle_ != nullptr) InternetCloseHandle(handle_);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  HINTERNET get() const { return handle_; }

 private:
  HINTERNET handle_;
};

bool QueryNumber(HINTERNET request, DWORD info, DWORD& value) {
  DWORD length = sizeof(value);
  DWORD index = 0;
  return HttpQueryInfoW(request, info | HTTP_QUERY_FLAG_NUMBER, &value, &length, &index) != FALSE;
}

// A name beside the target that no other download in this process or
// another one uses at the same time.
std::wstring TempPathFor(const std::wstring& target) {
  static std::atomic<unsigned> counter{0};
  return target + L".part-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(counter++);
}

// Streams the body into `file` in chunks of at most 1024 bytes; true when
// the reads ended at the end of the body and every chunk was written.
bool CopyBody(HINTERNET request, HANDLE file, unsigned long long& received) {
  char buffer[kChunkBytes] = {};
  for (;;) {
    DWORD read = 0;
    if (!InternetReadFile(request, buffer, kChunkBytes, &read)) return false;
    if (read == 0) return true;
    DWORD written = 0;
    if (!WriteFile(file, buffer, read, &written, nullptr) || written != read) return false;
    received += read;
  }
}

class WinInetDownloader : public Downloader {
 public:
  bool DownloadUrlToFile(const std::u16string& url, const std::u16string& path) override {
    InternetHandle internet(
        InternetOpenW(L"InetURL/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (internet.get() == nullptr) return false;
    InternetHandle request(InternetOpenUrlW(internet.get(),
                                            reinterpret_cast<const wchar_t*>(url.c_str()),
                                            nullptr, 0, INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (request.get() == nullptr) return false;
    DWORD status = 0;
    if (!QueryNumber(request.get(), HTTP_QUERY_STATUS_CODE, status) || status < 200 ||
        status > 299) {
      return false;
    }
    DWORD contentLength = 0;
    const bool lengthKnown = QueryNumber(request.get(), HTTP_QUERY_CONTENT_LENGTH, contentLength);

    const std::wstring target(reinterpret_cast<const wchar_t*>(path.c_str()));
    const std::wstring temp = TempPathFor(target);
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    unsigned long long received = 0;
    bool ok = CopyBody(request.get(), file, received);
    ok = ok && (!lengthKnown || received == contentLength);
    ok = CloseHandle(file) && ok;
    if (ok && MoveFileExW(temp.c_str(), target.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    DeleteFileW(temp.c_str());
    return false;
  }
};

}  // namespace

Downloader& PlatformDownloader() {
  static WinInetDownloader downloader;
  return downloader;
}

}  // namespace kestrune
