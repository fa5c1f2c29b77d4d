// Windows: the arrival and removal of COM-port device interfaces, as
// WM_DEVICECHANGE messages to a message-only window registered for
// GUID_DEVINTERFACE_COMPORT (RegisterDeviceNotificationW). A console
// program has no window of its own, so the listener makes one.
//
// Thread protocol:
// - The constructor starts the listener thread and waits until that thread
//   has made its window and registered it, or failed to; Listening() is
//   fixed from then on. A thread that cannot start, a window that cannot be
//   made or a registration refused leave nothing running: the listing alone
//   serves.
// - The window, its registration and its message loop belong to the
//   listener thread alone. Each arrival or removal of a device interface
//   calls `heard` there; `heard` must not block.
// - The destructor posts the window WM_CLOSE: the listener thread destroys
//   the window, leaves its loop, unregisters and ends, and the destructor
//   joins it. Once joined, `heard` is not called again.
#include <windows.h>
// windows.h first: dbt.h builds on its types.
#include <dbt.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "device/device_announcements.h"

namespace kestrune {
namespace {

// {86E0D1E0-8089-11D0-9CE4-08003E301F73}, the COM-port device interface class.
const GUID kComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

const wchar_t kWindowClass[] = L"KestruneDeviceAnnouncements";

LRESULT CALLBACK AnnouncementWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* heard = reinterpret_cast<std::function<void()>*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_DEVICECHANGE: {
      const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
      if ((wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE) &&
          header != nullptr && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE &&
          heard != nullptr) {
        (*heard)();
      }
      return TRUE;
    }
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
  }
}

bool RegisterWindowClass() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &AnnouncementWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kWindowClass;
  return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

struct DeviceAnnouncements::Listener {
  std::function<void()> heard;
  std::thread thread;
  std::mutex mutex;  // ready, window and listening, until ready
  std::condition_variable readyChanged;
  bool ready = false;
  HWND window = nullptr;
  bool listening = false;

  void Run() {
    HWND made = nullptr;
    HDEVNOTIFY registration = nullptr;
    if (RegisterWindowClass()) {
      made = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    }
    if (made != nullptr) {
      SetWindowLongPtrW(made, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&heard));
      DEV_BROADCAST_DEVICEINTERFACE_W filter{};
      filter.dbcc_size = sizeof filter;
      filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
      filter.dbcc_classguid = kComPortInterface;
      registration = RegisterDeviceNotificationW(made, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
      if (registration == nullptr) {
        DestroyWindow(made);
        made = nullptr;
      }
    }
    {
      std::lock_guard<std::mutex> lock(mutex);
      ready = true;
      window = made;
      listening = made != nullptr;
    }
    readyChanged.notify_all();
    if (made == nullptr) return;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    UnregisterDeviceNotification(registration);
  }
};

DeviceAnnouncements::DeviceAnnouncements(std::function<void()> heard) : listener_(new Listener) {
  Listener& l = *listener_;
  l.heard = std::move(heard);
  try {
    l.thread = std::thread([&l] { l.Run(); });
  } catch (const std::system_error&) {
    return;  // no thread: the listing alone serves
  }
  std::unique_lock<std::mutex> lock(l.mutex);
  l.readyChanged.wait(lock, [&l] { return l.ready; });
}

DeviceAnnouncements::~DeviceAnnouncements() {
  Listener& l = *listener_;
  if (!l.thread.joinable()) return;
  if (l.window != nullptr) PostMessageW(l.window, WM_CLOSE, 0, 0);
  l.thread.join();
}

bool DeviceAnnouncements::Listening() const { return listener_->listening; }

}  // namespace kestrune
