// The listener's message-only window under Wine: Wine registers it for
// COM-port interfaces but announces none of the ports a test can make, so
// the messages the system would send are sent here to the window the
// listener made, found as any program finds a message-only window.
#include <windows.h>
// windows.h first: dbt.h builds on its types.
#include <dbt.h>

#include <gtest/gtest.h>

#include <atomic>

#include "device/device_announcements.h"

namespace kestrune {
namespace {

HWND ListenerWindow() {
  return FindWindowExW(HWND_MESSAGE, nullptr, L"KestruneDeviceAnnouncements", nullptr);
}

// What the system sends for a COM port that comes or goes.
LRESULT Announce(HWND window, WPARAM event, DWORD deviceType) {
  DEV_BROADCAST_DEVICEINTERFACE_W broadcast{};
  broadcast.dbcc_size = sizeof broadcast;
  broadcast.dbcc_devicetype = deviceType;
  broadcast.dbcc_classguid = {
      0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
  return SendMessageW(window, WM_DEVICECHANGE, event,
                      event == DBT_DEVNODES_CHANGED ? 0 : reinterpret_cast<LPARAM>(&broadcast));
}

TEST(DeviceAnnouncementsWin, ArrivalAndRemovalOfAPortAreHeardOnTheListenersThread) {
  std::atomic<int> heard{0};
  std::atomic<DWORD> heardOn{0};
  {
    DeviceAnnouncements announcements([&] {
      heardOn = GetCurrentThreadId();
      ++heard;
    });
    ASSERT_TRUE(announcements.Listening()) << "registration for COM-port interfaces refused";
    const HWND window = ListenerWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_NE(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());

    Announce(window, DBT_DEVICEARRIVAL, DBT_DEVTYP_DEVICEINTERFACE);
    EXPECT_EQ(heard.load(), 1);
    EXPECT_EQ(heardOn.load(), GetWindowThreadProcessId(window, nullptr));
    Announce(window, DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_DEVICEINTERFACE);
    EXPECT_EQ(heard.load(), 2);
    // Neither a node change without a device, a volume, nor a removal only asked for.
    Announce(window, DBT_DEVNODES_CHANGED, DBT_DEVTYP_DEVICEINTERFACE);
    Announce(window, DBT_DEVICEARRIVAL, DBT_DEVTYP_VOLUME);
    Announce(window, DBT_DEVICEQUERYREMOVE, DBT_DEVTYP_DEVICEINTERFACE);
    EXPECT_EQ(heard.load(), 2);
  }
  EXPECT_EQ(ListenerWindow(), nullptr) << "the window outlived the listener";
}

TEST(DeviceAnnouncementsWin, ListenersComeAndGoOneAfterAnother) {
  for (int i = 0; i < 3; ++i) {
    std::atomic<int> heard{0};
    DeviceAnnouncements announcements([&] { ++heard; });
    ASSERT_TRUE(announcements.Listening());
    Announce(ListenerWindow(), DBT_DEVICEARRIVAL, DBT_DEVTYP_DEVICEINTERFACE);
    EXPECT_EQ(heard.load(), 1);
  }
  EXPECT_EQ(ListenerWindow(), nullptr);
}

}  // namespace
}  // namespace kestrune
