#pragma once
// The WinINet functions the downloader calls, taken from System32's
// wininet.dll (see system_library_win.h) rather than imported.

#include <windows.h>
#include <wininet.h>

namespace kestrune {

struct WinInetFunctions {
  decltype(&::InternetOpenW) InternetOpenW;
  decltype(&::InternetConnectW) InternetConnectW;
  decltype(&::InternetCrackUrlW) InternetCrackUrlW;
  decltype(&::InternetCombineUrlW) InternetCombineUrlW;
  decltype(&::InternetSetOptionW) InternetSetOptionW;
  decltype(&::InternetReadFile) InternetReadFile;
  decltype(&::InternetCloseHandle) InternetCloseHandle;
  decltype(&::HttpOpenRequestW) HttpOpenRequestW;
  decltype(&::HttpSendRequestW) HttpSendRequestW;
  decltype(&::HttpQueryInfoW) HttpQueryInfoW;
};

// The functions, loaded at the first call; null when wininet.dll or one of
// them cannot be had (the system's error then in GetLastError()).
const WinInetFunctions* SystemWinInet();

}  // namespace kestrune
