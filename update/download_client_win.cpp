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

// The message of a WinINet or system error code.
std::string ErrorText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
      (code >= INTERNET_ERROR_BASE && code <= INTERNET_ERROR_LAST ? FORMAT_MESSAGE_FROM_HMODULE
                                                                  : FORMAT_MESSAGE_FROM_SYSTEM);
  const DWORD length = FormatMessageW(flags, GetModuleHandleW(L"wininet.dll"), code, 0,
                                      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message;
  if (length > 0 && text != nullptr) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                          nullptr, nullptr);
    message.resize(static_cast<size_t>(bytes));
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), message.data(), bytes, nullptr,
                        nullptr);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
      message.pop_back();
    }
  }
  if (text != nullptr) LocalFree(text);
  return message;
}

DownloadResult Failed(const char* step, DWORD code) {
  DownloadResult result;
  result.errorCode = static_cast<long>(code);
  const std::string message = ErrorText(code);
  result.errorText = message.empty() ? step : std::string(step) + ": " + message;
  return result;
}

class WinInetDownloader : public Downloader {
 public:
  bool DownloadUrlToFile(const std::u16string& url, const std::u16string& path) override {
    return Download(url, path).ok;
  }

  DownloadResult Download(const std::u16string& url, const std::u16string& path) override {
    InternetHandle internet(
        InternetOpenW(L"InetURL/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (internet.get() == nullptr) return Failed("InternetOpen", GetLastError());
    InternetHandle request(InternetOpenUrlW(internet.get(),
                                            reinterpret_cast<const wchar_t*>(url.c_str()), nullptr,
                                            0, INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (request.get() == nullptr) return Failed("InternetOpenUrl", GetLastError());
    DownloadResult result;
    DWORD status = 0;
    if (!QueryNumber(request.get(), HTTP_QUERY_STATUS_CODE, status)) {
      return Failed("HttpQueryInfo", GetLastError());
    }
    result.httpStatus = static_cast<long>(status);
    if (status < 200 || status > 299) return result;
    DWORD contentLength = 0;
    const bool lengthKnown = QueryNumber(request.get(), HTTP_QUERY_CONTENT_LENGTH, contentLength);

    const std::wstring target(reinterpret_cast<const wchar_t*>(path.c_str()));
    const std::wstring temp = TempPathFor(target);
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      DownloadResult failed = Failed("CreateFile", GetLastError());
      failed.httpStatus = result.httpStatus;
      return failed;
    }
    unsigned long long received = 0;
    bool ok = CopyBody(request.get(), file, received);
    const DWORD copyError = ok ? 0 : GetLastError();
    result.bytes = received;
    if (!ok) {
      result.errorCode = static_cast<long>(copyError);
      result.errorText = "body: " + ErrorText(copyError);
    } else if (lengthKnown && received != contentLength) {
      ok = false;
      result.errorText = "body cut off: Content-Length " + std::to_string(contentLength);
    }
    ok = CloseHandle(file) && ok;
    if (ok && MoveFileExW(temp.c_str(), target.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      result.ok = true;
      return result;
    }
    if (result.errorText.empty()) {
      result.errorCode = static_cast<long>(GetLastError());
      result.errorText = "MoveFileEx: " + ErrorText(static_cast<DWORD>(result.errorCode));
    }
    DeleteFileW(temp.c_str());
    return result;
  }
};

}  // namespace

Downloader& PlatformDownloader() {
  static WinInetDownloader downloader;
  return downloader;
}

}  // namespace kestrune
