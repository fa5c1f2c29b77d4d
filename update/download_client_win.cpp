// Downloads with WinINet into a temporary file beside the target, which
// replaces the target only when the whole body arrived with a 2xx status
// within the download's limits and was accepted. WinINet ends a cut-off
// body like a complete one (a read of 0 bytes), so the bytes received are
// compared with Content-Length where there is one. It also follows a
// redirect from https to http without a word, so redirects are followed
// here, one by one. The stall bound is WinINet's own time-outs.

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "update/downloader.h"
#include "update/text_conversion.h"
#include "update/wininet_functions_win.h"

namespace kestrune {
namespace {

constexpr DWORD kChunkBytes = 1024;

// Only called once Download has found the functions loaded.
const WinInetFunctions& WinInet() { return *SystemWinInet(); }
constexpr wchar_t kTempSuffix[] = L".part-";

class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET handle = nullptr) : handle_(handle) {}
  ~InternetHandle() { Reset(nullptr); }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  HINTERNET get() const { return handle_; }
  void Reset(HINTERNET handle) {
    if (handle_ != nullptr) WinInet().InternetCloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HINTERNET handle_;
};

bool QueryNumber(HINTERNET request, DWORD info, DWORD& value) {
  DWORD length = sizeof(value);
  DWORD index = 0;
  return WinInet().HttpQueryInfoW(request, info | HTTP_QUERY_FLAG_NUMBER, &value, &length,
                                  &index) != FALSE;
}

std::wstring QueryText(HINTERNET request, DWORD info) {
  DWORD length = 0;
  DWORD index = 0;
  WinInet().HttpQueryInfoW(request, info, nullptr, &length, &index);
  if (length == 0) return {};
  std::wstring text(length / sizeof(wchar_t) + 1, L'\0');
  index = 0;
  if (!WinInet().HttpQueryInfoW(request, info, text.data(), &length, &index)) return {};
  text.resize(length / sizeof(wchar_t));
  return text;
}

bool IsRedirect(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsHttps(const std::wstring& url) { return _wcsnicmp(url.c_str(), L"https://", 8) == 0; }

// `location` made absolute against `base`; empty when it cannot be.
std::wstring ResolveLocation(const std::wstring& base, const std::wstring& location) {
  DWORD length = 0;
  WinInet().InternetCombineUrlW(base.c_str(), location.c_str(), nullptr, &length, ICU_NO_ENCODE);
  if (length == 0) return {};
  std::wstring combined(length + 1, L'\0');
  if (!WinInet().InternetCombineUrlW(base.c_str(), location.c_str(), combined.data(), &length,
                                     ICU_NO_ENCODE)) {
    return {};
  }
  combined.resize(length);
  return combined;
}

// A name beside the target that no other download in this process or
// another one uses at the same time.
std::wstring TempPathFor(const std::wstring& target) {
  static std::atomic<unsigned> counter{0};
  return target + kTempSuffix + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(counter++);
}

// True for "<name>.part-<unique>", the temporary files of this downloader
// (the unique part from TempPathFor, or from mkostemp on Linux). Other files
// in the folder are never touched.
bool IsOwnTempName(const std::wstring& name) {
  const std::wstring::size_type at = name.rfind(kTempSuffix);
  if (at == std::wstring::npos || at == 0) return false;
  const std::wstring unique = name.substr(at + wcslen(kTempSuffix));
  if (unique.empty()) return false;
  for (const wchar_t c : unique) {
    const bool alnum =
        (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
    if (!alnum && c != L'-') return false;
  }
  return true;
}

// Removes the temporary files that earlier downloads left in the folder of
// `target`, of any target: a file whose download was never tried again
// would stay for good otherwise. One that a download in progress holds is
// open without sharing, so it cannot be deleted and stays.
void RemoveLeftovers(const std::wstring& target) {
  const std::wstring::size_type slash = target.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"*" + kTempSuffix + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        IsOwnTempName(found.cFileName)) {
      DeleteFileW((folder + found.cFileName).c_str());
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// Reads the whole temporary file back through the handle that holds it,
// so what is judged is what will replace the target.
bool ReadBack(HANDLE file, std::string& body) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) return false;
  if (static_cast<unsigned long long>(size.QuadPart) > 0xFFFFFFFFull) {
    SetLastError(ERROR_FILE_TOO_LARGE);
    return false;
  }
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
  body.resize(static_cast<std::size_t>(size.QuadPart));
  std::size_t done = 0;
  while (done < body.size()) {
    DWORD read = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(body.size() - done, 1 << 20));
    if (!ReadFile(file, &body[done], want, &read, nullptr)) return false;
    if (read == 0) {
      SetLastError(ERROR_HANDLE_EOF);
      return false;
    }
    done += read;
  }
  return true;
}

// Renames the file open as `file` (opened with DELETE access) over
// `target`, replacing it. Through the handle, so the file is never
// unlocked between its check and its new name.
bool RenameHeldFile(HANDLE file, const std::wstring& target) {
  const std::size_t nameBytes = target.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes + sizeof(wchar_t), 0);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(nameBytes);
  std::memcpy(info->FileName, target.data(), nameBytes);
  return SetFileInformationByHandle(file, FileRenameInfo, info,
                                    static_cast<DWORD>(buffer.size())) != FALSE;
}

void SetTimeouts(HINTERNET internet, DWORD ms) {
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                       INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                       INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
    WinInet().InternetSetOptionW(internet, option, &ms, sizeof(ms));
  }
}
// Streams the body into `file` in chunks of at most 1024 bytes; true when
// the reads ended at the end of the body and every chunk was written.
bool CopyBody(HINTERNET request, HANDLE file, const DownloadLimits& limits,
              unsigned long long& received, bool& tooLarge) {
  char buffer[kChunkBytes] = {};
  for (;;) {
    DWORD read = 0;
    if (!WinInet().InternetReadFile(request, buffer, kChunkBytes, &read)) return false;
    if (read == 0) return true;
    if (limits.maxBytes && received + read > *limits.maxBytes) {
      tooLarge = true;
      return false;
    }
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
    message = WideToUtf8Text(std::u16string(reinterpret_cast<const char16_t*>(text), length));
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

DownloadResult Refused(const std::string& why) {
  DownloadResult result;
  result.errorText = why;
  return result;
}

// One request with its connection. The time-outs are set on the connection
// before the request exists and on the request before it is sent: Wine's
// WinINet applies them to the socket only then, and a request made by
// InternetOpenUrl never gets them.
struct Exchange {
  InternetHandle connection;
  InternetHandle request;
};

// Sends a GET for `url`, without following a redirect. Returns the failure,
// or an empty errorText with `exchange` holding the answered request.
DownloadResult SendRequest(HINTERNET internet, const std::wstring& url, DWORD stallMs,
                           Exchange& exchange) {
  URL_COMPONENTSW parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.dwHostNameLength = 1;
  parts.dwUrlPathLength = 1;
  parts.dwExtraInfoLength = 1;
  if (!WinInet().InternetCrackUrlW(url.c_str(), 0, 0, &parts))
    return Failed("InternetCrackUrl", GetLastError());
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
    return Refused("not an http or https URL");
  }
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring object(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (parts.lpszExtraInfo != nullptr) object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (object.empty()) object = L"/";

  exchange.request.Reset(nullptr);
  exchange.connection.Reset(WinInet().InternetConnectW(internet, host.c_str(), parts.nPort, nullptr,
                                                       nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (exchange.connection.get() == nullptr) return Failed("InternetConnect", GetLastError());
  SetTimeouts(exchange.connection.get(), stallMs);
  DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD |
                INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  exchange.request.Reset(WinInet().HttpOpenRequestW(
      exchange.connection.get(), L"GET", object.c_str(), nullptr, nullptr, nullptr, flags, 0));
  if (exchange.request.get() == nullptr) return Failed("HttpOpenRequest", GetLastError());
  SetTimeouts(exchange.request.get(), stallMs);
  if (!WinInet().HttpSendRequestW(exchange.request.get(), nullptr, 0, nullptr, 0)) {
    return Failed("HttpSendRequest", GetLastError());
  }
  return {};
}

class WinInetDownloader : public Downloader {
 public:
  DownloadResult Download(const std::u16string& url, const std::u16string& path,
                          const DownloadLimits& limits) override {
    if (SystemWinInet() == nullptr) return Failed("load wininet.dll", GetLastError());
    InternetHandle internet(
        WinInet().InternetOpenW(L"InetURL/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (internet.get() == nullptr) return Failed("InternetOpen", GetLastError());
    const auto stall = limits.stallTimeout.count();
    const DWORD stallMs = stall <= 0 ? 1 : stall > MAXDWORD ? MAXDWORD : static_cast<DWORD>(stall);
    SetTimeouts(internet.get(), stallMs);

    // Redirects are followed here, one by one, so that their number is
    // bounded and none leaves https for http.
    Exchange exchange;
    std::wstring current(reinterpret_cast<const wchar_t*>(url.c_str()));
    DWORD status = 0;
    for (int redirects = 0;; ++redirects) {
      DownloadResult sent = SendRequest(internet.get(), current, stallMs, exchange);
      if (!sent.errorText.empty()) return sent;
      if (!QueryNumber(exchange.request.get(), HTTP_QUERY_STATUS_CODE, status)) {
        return Failed("HttpQueryInfo", GetLastError());
      }
      if (!IsRedirect(status)) break;
      if (redirects >= limits.maxRedirects) {
        return Refused("more than " + std::to_string(limits.maxRedirects) + " redirects");
      }
      const std::wstring next =
          ResolveLocation(current, QueryText(exchange.request.get(), HTTP_QUERY_LOCATION));
      if (next.empty()) return Refused("redirect without a usable Location");
      if (IsHttps(current) && !IsHttps(next)) return Refused("redirect from https to http refused");
      current = next;
    }
    HINTERNET request = exchange.request.get();
    DownloadResult result;
    result.httpStatus = static_cast<long>(status);
    if (status < 200 || status > 299) return result;
    DWORD contentLength = 0;
    const bool lengthKnown = QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, contentLength);
    if (lengthKnown && limits.maxBytes && contentLength > *limits.maxBytes) {
      result.tooLarge = true;
      result.errorText = "Content-Length " + std::to_string(contentLength) + " over the bound of " +
                         std::to_string(*limits.maxBytes) + " bytes";
      return result;
    }

    const std::wstring target(reinterpret_cast<const wchar_t*>(path.c_str()));
    RemoveLeftovers(target);
    const std::wstring temp = TempPathFor(target);
    // Held without sharing until it has replaced the target (or is gone):
    // another download that starts meanwhile cannot delete it as a
    // leftover. DELETE access lets this handle rename it.
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      DownloadResult failed = Failed("CreateFile", GetLastError());
      failed.httpStatus = result.httpStatus;
      return failed;
    }
    unsigned long long received = 0;
    bool ok = CopyBody(request, file, limits, received, result.tooLarge);
    const DWORD copyError = ok ? 0 : GetLastError();
    result.bytes = received;
    if (result.tooLarge) {
      result.errorText = "body longer than " + std::to_string(*limits.maxBytes) + " bytes";
    } else if (!ok) {
      result.errorCode = static_cast<long>(copyError);
      result.errorText = "body: " + ErrorText(copyError);
    } else if (lengthKnown && received != contentLength) {
      ok = false;
      result.errorText = "body cut off: Content-Length " + std::to_string(contentLength);
    }
    // Durable before it replaces the target.
    if (ok && !FlushFileBuffers(file)) {
      ok = false;
      result.errorCode = static_cast<long>(GetLastError());
      result.errorText = "FlushFileBuffers: " + ErrorText(static_cast<DWORD>(result.errorCode));
    }
    if (ok && limits.acceptBody) {
      std::string body;
      if (!ReadBack(file, body)) {
        ok = false;
        result.errorCode = static_cast<long>(GetLastError());
        result.errorText = "read back: " + ErrorText(static_cast<DWORD>(result.errorCode));
      } else if (!limits.acceptBody(body)) {
        ok = false;
        result.errorText = "body refused";
      }
    }
    if (ok && !RenameHeldFile(file, target)) {
      ok = false;
      result.errorCode = static_cast<long>(GetLastError());
      result.errorText = "SetFileInformationByHandle(FileRenameInfo): " +
                         ErrorText(static_cast<DWORD>(result.errorCode));
    }
    CloseHandle(file);
    if (ok) {
      result.ok = true;
      return result;
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
