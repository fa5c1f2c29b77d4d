// The SetupAPI backend under Wine: once against Wine's own SetupAPI, once
// against the test stand-in DLLs (setupapi.dll beside this program,
// cfgmgr32.dll in the prefix's System32).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "device/cfgmgr32_functions_win.h"
#include "device/device_discovery.h"
#include "device/serial_device_tree.h"
#include "device/watch_discovery.h"
#include "testing/temp_folder.h"
#include "testing/whole_file.h"

namespace kestrune {
namespace {

// Discovery over the system's own device tree, as the program runs it.
std::u16string FindOnSystemTree(std::uint16_t vendorId, std::uint16_t productId) {
  return FindDevicePortPath(*SystemSerialDeviceTree(), vendorId, productId);
}

// The stand-ins export only what discovery uses; Wine's own DLLs export
// much more. (The module path does not tell them apart: Wine names a builtin
// DLL after a same-named file beside the program.)
bool IsStandIn(const wchar_t* dll, const char* otherExport) {
  HMODULE module = GetModuleHandleW(dll);
  return module != nullptr && GetProcAddress(module, otherExport) == nullptr;
}

// setupapi.dll is imported; cfgmgr32.dll is loaded, from System32, at
// discovery's first need.
bool StandInsLoaded() {
  return SystemCfgmgr32() != nullptr && IsStandIn(L"setupapi.dll", "SetupDiGetClassDevsA") &&
         IsStandIn(L"cfgmgr32.dll", "CM_Get_Child");
}

std::u16string U16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

TEST(WineOwnSetupApi, FindsNothingWithoutCrashing) {
  ASSERT_NE(GetModuleHandleW(L"setupapi.dll"), nullptr);
  ASSERT_FALSE(IsStandIn(L"setupapi.dll", "SetupDiGetClassDevsA")) << "the stand-in is loaded";
  ASSERT_NE(SystemCfgmgr32(), nullptr);
  ASSERT_FALSE(IsStandIn(L"cfgmgr32.dll", "CM_Get_Child")) << "the stand-in is loaded";
  EXPECT_EQ(FindOnSystemTree(0x1915, 0x52F0), u"");
}

class StandInSetupApi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StandInsLoaded()) << "stand-in DLLs not loaded; WINEDLLOVERRIDES is "
                                  << (getenv("WINEDLLOVERRIDES") ? getenv("WINEDLLOVERRIDES")
                                                                 : "unset");
    for (const auto& path : {freePort_, heldPort_}) {
      HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(file, INVALID_HANDLE_VALUE);
      CloseHandle(file);
    }
    // Held the way another program holds a port: opened without sharing.
    holder_ = CreateFileW(heldPort_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder_, INVALID_HANDLE_VALUE);
  }
  void TearDown() override {
    if (holder_ != INVALID_HANDLE_VALUE) CloseHandle(holder_);
    SetEnvironmentVariableW(L"KESTRUNE_FAKE_DEVICES", nullptr);
    SetEnvironmentVariableW(L"KESTRUNE_FAKE_DEVICES_FILE", nullptr);
  }
  static void SetTable(const std::wstring& table) {
    SetEnvironmentVariableW(L"KESTRUNE_FAKE_DEVICES", table.c_str());
  }

  // Files that stand for the ports' device nodes.
  testing_support::TempFolder ports_{"ports"};
  const std::wstring freePort_ = (ports_.path() / "free").wstring();
  const std::wstring heldPort_ = (ports_.path() / "held").wstring();
  HANDLE holder_ = INVALID_HANDLE_VALUE;
};

const std::wstring kWatchParent = L"USB\\VID_1915&PID_52F0\\KS0001";

TEST_F(StandInSetupApi, DefaultTableHasOneWatchOnCom7) {
  SetEnvironmentVariableW(L"KESTRUNE_FAKE_DEVICES", nullptr);
  EXPECT_EQ(FindOnSystemTree(0x1915, 0x52F0), u"\\\\.\\COM7");
  EXPECT_EQ(FindOnSystemTree(0x1915, 0x52F1), u"");
}

TEST_F(StandInSetupApi, EmptyTableFindsNothing) {
  SetTable(L"");
  EXPECT_EQ(FindOnSystemTree(0x1915, 0x52F0), u"");
}

TEST_F(StandInSetupApi, WatchUnderHubIsNotFound) {
  SetTable(L"USB\\VID_1915&PID_52F0\\KS0001|USB\\ROOT_HUB30\\4&1&0&0|" + freePort_);
  EXPECT_EQ(FindOnSystemTree(0x1915, 0x52F0), u"");
}

TEST_F(StandInSetupApi, HeldPortIsPassedOverForAFreeOne) {
  SetTable(L"USB\\VID_1915&PID_52F0&MI_00\\1|" + kWatchParent + L"|" + heldPort_ +
           L";USB\\VID_1915&PID_52F0&MI_00\\2|usb\\vid_1915&pid_52f0\\ks0002|" + freePort_);
  EXPECT_EQ(FindOnSystemTree(0x1915, 0x52F0), U16(freePort_));
}

TEST_F(StandInSetupApi, HeldPortAloneIsStillReturned) {
  SetTable(L"USB\\VID_1915&PID_52F0&MI_00\\1|" + kWatchParent + L"|" + heldPort_ + L"|" +
           freePort_);
  EXPECT_EQ(FindOnSystemTree(0x1915, 0x52F0), U16(heldPort_));
}

TEST_F(StandInSetupApi, IdsBeyondTheirBuffersSkipTheDevice) {
  const std::wstring longOwn(8192, L'X');
  const std::wstring longParent = std::wstring(1024 - kWatchParent.size(), L'X') + kWatchParent;
  const std::wstring fittingParent = longParent.substr(1);
  SetTable(longOwn + L"|" + kWatchParent + L"|" + heldPort_ +  //
           L";B|" + longParent + L"|" + heldPort_ +            //
           L";C|" + fittingParent + L"|" + freePort_);
  EXPECT_EQ(FindOnSystemTree(0x1915, 0x52F0), U16(freePort_));
}

// Two watches, one with a serial number and its location paths, one whose
// ID part was made up by Windows (no serial number) with only a location
// text, around a device of another maker and a watch port without a path.
TEST_F(StandInSetupApi, DiscoversEveryWatchWithSerialAndLocation) {
  SetTable(L"USB\\VID_1915&PID_52F0&MI_00\\7&1&0&0000|" + kWatchParent +
           L"|locationpaths=PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(4)|location=Port_#0004.Hub_#0003|" +
           heldPort_ +
           L";FTDIBUS\\VID_0403+PID_6001+A10K\\0000|USB\\VID_0403&PID_6001\\A10K|"
           L"location=Port_#0001.Hub_#0003|" +
           freePort_ +
           L";USB\\VID_1915&PID_52F0&MI_00\\7&3&0&0000|USB\\VID_1915&PID_52F0\\6&2C4D&0&2|"
           L"location=Port_#0002.Hub_#0001|" +
           freePort_ +
           L";USB\\VID_1915&PID_52F0&MI_00\\7&4&0&0000|usb\\vid_1915&pid_52f0\\KS0009|");
  const WatchDiscovery found = DiscoverWatches(*SystemSerialDeviceTree(), 0x1915, 0x52F0);
  ASSERT_EQ(found.watches.size(), 2u);
  EXPECT_EQ(found.watches[0].portPath, U16(heldPort_));
  EXPECT_EQ(found.watches[0].usbSerial, u"KS0001");
  EXPECT_EQ(found.watches[0].usbLocation, u"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(4)");
  EXPECT_FALSE(found.watches[0].opensNow);
  EXPECT_EQ(found.watches[1].portPath, U16(freePort_));
  EXPECT_EQ(found.watches[1].usbSerial, u"");
  EXPECT_EQ(found.watches[1].usbLocation, u"Port_#0002.Hub_#0001");
  EXPECT_TRUE(found.watches[1].opensNow);
  ASSERT_EQ(found.passedOver.size(), 2u);
  EXPECT_EQ(found.passedOver[0].instanceId, u"FTDIBUS\\VID_0403+PID_6001+A10K\\0000");
  EXPECT_EQ(found.passedOver[0].reason, "parent is not the watch (0403:6001)");
  EXPECT_EQ(found.passedOver[0].path, U16(freePort_));
  EXPECT_EQ(found.passedOver[1].reason, "no interface path");
  // The search for the port to update still takes the first that opens.
  EXPECT_EQ(FindOnSystemTree(0x1915, 0x52F0), U16(freePort_));
}

// The table in a file that changes while the program runs: watches come
// and go between listings, and a listing made just before a watch left
// still reads the others right, the left one no more.
TEST_F(StandInSetupApi, TableFileChangesBetweenAndDuringListings) {
  const auto table = ports_.path() / "table";
  SetEnvironmentVariableW(L"KESTRUNE_FAKE_DEVICES_FILE", table.wstring().c_str());
  SetTable(L"USB\\VID_1915&PID_52F0&MI_00\\1|" + kWatchParent + L"|" + freePort_);  // not read
  const auto serials = [] {
    std::u16string seen;
    for (const auto& watch : DiscoverWatches(*SystemSerialDeviceTree(), 0x1915, 0x52F0).watches)
      seen += watch.usbSerial + u" ";
    return seen;
  };
  EXPECT_EQ(serials(), u"") << "no file: no devices";
  const std::string one = "USB\\VID_1915&PID_52F0&MI_00\\1|USB\\VID_1915&PID_52F0\\KS0001|COM7";
  const std::string two = "USB\\VID_1915&PID_52F0&MI_00\\2|USB\\VID_1915&PID_52F0\\KS0002|COM8";
  const std::string three = "USB\\VID_1915&PID_52F0&MI_00\\3|USB\\VID_1915&PID_52F0\\KS0003|COM9";
  testing_support::WriteWholeFile(table, one + ";" + two + "\n");
  EXPECT_EQ(serials(), u"KS0001 KS0002 ");

  const std::unique_ptr<SerialDeviceList> listing =
      SystemSerialDeviceTree()->ListSerialPortDevices();
  ASSERT_NE(listing, nullptr);
  // KS0001 unplugged (its slot left free) and KS0003 plugged in meanwhile.
  testing_support::WriteWholeFile(table, ";" + two + ";" + three);
  char16_t id[1024] = {};
  ASSERT_TRUE(listing->SelectDevice(0));
  EXPECT_FALSE(listing->ReadParentId(id, 1024)) << "the unplugged watch's node is gone";
  ASSERT_TRUE(listing->SelectDevice(1));
  ASSERT_TRUE(listing->ReadParentId(id, 1024));
  EXPECT_EQ(std::u16string(id), u"USB\\VID_1915&PID_52F0\\KS0002");
  EXPECT_FALSE(listing->SelectDevice(2)) << "a listing keeps the devices it began with";

  EXPECT_EQ(serials(), u"KS0002 KS0003 ");
}

}  // namespace
}  // namespace kestrune
