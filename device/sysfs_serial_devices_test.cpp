// The Linux device tree backend on sysfs-shaped trees built per test, whose
// tty nodes are real pseudo-terminals.
#include "device/sysfs_serial_devices.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "device/device_discovery.h"
#include "device/watch_discovery.h"
#include "testing/held_port.h"
#include "testing/sysfs_tree.h"

namespace kestrune {
namespace {
namespace fs = std::filesystem;
using testing_support::HeldPort;
using testing_support::SysfsTree;

std::u16string U16(const std::string& text) { return std::u16string(text.begin(), text.end()); }

class Pty {
 public:
  Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(master_, 0);
    EXPECT_EQ(grantpt(master_), 0);
    EXPECT_EQ(unlockpt(master_), 0);
    path_ = ptsname(master_);
  }
  ~Pty() {
    holder_.reset();
    close(master_);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  // Holds the port the way the serial link does.
  void Hold() { holder_.emplace(path_); }
  const std::string& path() const { return path_; }        // "/dev/pts/N"
  std::string devname() const { return path_.substr(5); }  // "pts/N"

 private:
  int master_ = -1;
  std::string path_;
  std::optional<HeldPort> holder_;
};

const std::string kPci = "pci0000:00/0000:00:14.0";

struct Listed {
  std::u16string ownId;
  std::u16string parentId;  // empty: the query fails
  bool operator==(const Listed& o) const { return ownId == o.ownId && parentId == o.parentId; }
};

std::ostream& operator<<(std::ostream& out, const Listed& l) {
  return out << std::string(l.ownId.begin(), l.ownId.end()) << " <- "
             << std::string(l.parentId.begin(), l.parentId.end());
}

std::vector<Listed> ListAll(SysfsSerialDevices& devices) {
  std::vector<Listed> listed;
  auto list = devices.ListSerialPortDevices();
  EXPECT_NE(list, nullptr);
  for (std::size_t i = 0; list && list->SelectDevice(i); ++i) {
    char16_t own[256] = {}, parent[256] = {};
    EXPECT_TRUE(list->ReadInstanceId(own, 256));
    list->ReadParentId(parent, 256);
    listed.push_back({own, parent});
  }
  return listed;
}

std::u16string InterfacePaths(SysfsSerialDevices& devices, const std::u16string& id) {
  char16_t buffer[1024];
  if (!devices.ReadInterfacePaths(id.c_str(), buffer, 1024)) return u"<failed>";
  std::u16string joined;
  for (const char16_t* p = buffer; *p != u'\0'; p += std::char_traits<char16_t>::length(p) + 1)
    joined += std::u16string(p) + u";";
  return joined;
}

TEST(SysfsSerialDevices, ListsPortDevicesWithWindowsShapedIdentities) {
  SysfsTree tree;
  Pty acm, ftdi, direct, uart;
  tree.UsbDevice(kPci + "/usb1", "1d6b", "0002", "0000:00:14.0");
  tree.UsbDevice(kPci + "/usb1/1-1", "1915", "52f0", "KS0001");
  tree.Tty("ttyACM0", tree.UsbInterface(kPci + "/usb1/1-1/1-1:1.0", "00"), acm.devname());
  // A hub with a device whose tty sits right on the USB device node.
  tree.UsbDevice(kPci + "/usb1/1-2", "05e3", "0610", "");
  tree.Tty("ttyACM1", tree.UsbDevice(kPci + "/usb1/1-2/1-2.1", "1915", "52f0", "KS0002"),
           direct.devname());
  // A usb-serial adapter: the tty hangs off the port device on interface 2.
  tree.UsbDevice(kPci + "/usb1/1-3", "0403", "6001", "A10K");
  tree.UsbInterface(kPci + "/usb1/1-3/1-3:1.2", "02");
  tree.Tty("ttyUSB0", tree.Device(kPci + "/usb1/1-3/1-3:1.2/ttyUSB0", "usb-serial"),
           ftdi.devname());
  tree.Device("platform");
  tree.Tty("ttyS0", tree.Device("platform/serial8250", "platform"), uart.devname());
  // Skipped: no device behind it; a node that does not exist; a name that
  // would leave /dev.
  tree.Tty("tty0", {}, acm.devname());
  tree.Tty("ttyS1", tree.Device("platform/serial8250.1", "platform"), "kestrune-no-such-node");
  tree.Tty("ttyS2", tree.Device("platform/serial8250.2", "platform"), "../" + uart.path());

  SysfsSerialDevices devices(tree.root());
  EXPECT_EQ(ListAll(devices),
            (std::vector<Listed>{
                {u"USB\\VID_1915&PID_52F0&MI_00\\1-1:1.0", u"USB\\VID_1915&PID_52F0\\KS0001"},
                {u"USB\\VID_1915&PID_52F0\\KS0002", u"USB\\VID_05E3&PID_0610\\1-2"},
                {u"PLATFORM\\serial8250", u"DEVICE\\platform"},
                {u"USB-SERIAL\\ttyUSB0", u"USB\\VID_0403&PID_6001&MI_02\\1-3:1.2"},
            }));
  EXPECT_EQ(InterfacePaths(devices, u"USB\\VID_1915&PID_52F0&MI_00\\1-1:1.0"),
            U16(acm.path() + ";"));
  EXPECT_EQ(InterfacePaths(devices, u"USB-SERIAL\\ttyUSB0"), U16(ftdi.path() + ";"));
  EXPECT_EQ(InterfacePaths(devices, u"USB\\VID_1915&PID_52F0\\KS9999"), u"");
}

TEST(SysfsSerialDevices, DeviceWithTwoTtysIsListedOnceWithBothPaths) {
  SysfsTree tree;
  Pty first, second;
  tree.UsbDevice(kPci + "/usb1", "1d6b", "0002", "");
  tree.UsbDevice(kPci + "/usb1/1-1", "1915", "52f0", "KS0001");
  fs::path interface = tree.UsbInterface(kPci + "/usb1/1-1/1-1:1.0", "00");
  tree.Tty("ttyACM0", interface, first.devname());
  tree.Tty("ttyACM1", interface, second.devname());
  SysfsSerialDevices devices(tree.root());
  EXPECT_EQ(ListAll(devices).size(), 1u);
  EXPECT_EQ(InterfacePaths(devices, u"USB\\VID_1915&PID_52F0&MI_00\\1-1:1.0"),
            U16(first.path() + ";" + second.path() + ";"));
}

// A walk asks for each watch's interface paths: while its list lives they
// come from that list's look at the tree, which a station makes every second
// over every connected watch, not from one more look per watch found.
TEST(SysfsSerialDevices, InterfacePathsDuringAWalkComeFromItsListing) {
  SysfsTree tree;
  Pty watch;
  tree.UsbDevice(kPci + "/usb1", "1d6b", "0002", "");
  tree.UsbDevice(kPci + "/usb1/1-1", "1915", "52f0", "KS0001");
  tree.Tty("ttyACM0", tree.UsbInterface(kPci + "/usb1/1-1/1-1:1.0", "00"), watch.devname());
  const std::u16string id = u"USB\\VID_1915&PID_52F0&MI_00\\1-1:1.0";
  SysfsSerialDevices devices(tree.root());
  {
    const auto list = devices.ListSerialPortDevices();
    ASSERT_TRUE(list->SelectDevice(0));
    fs::remove(tree.root() / "class" / "tty" / "ttyACM0");  // unplugged meanwhile
    EXPECT_EQ(InterfacePaths(devices, id), U16(watch.path() + ";"));
  }
  // With no walk under way, the tree as it is now.
  EXPECT_EQ(InterfacePaths(devices, id), u"");
}

TEST(SysfsSerialDevices, ProbeFailsOnlyWhileAnotherOpenerHoldsThePort) {
  Pty free, held;
  held.Hold();
  SysfsSerialDevices devices("/sys");
  EXPECT_TRUE(devices.ProbeExclusiveOpen(U16(free.path()).c_str()));
  EXPECT_TRUE(devices.ProbeExclusiveOpen(U16(free.path()).c_str())) << "the probe kept the port";
  EXPECT_FALSE(devices.ProbeExclusiveOpen(U16(held.path()).c_str()));
  EXPECT_FALSE(devices.ProbeExclusiveOpen(u"/dev/kestrune-no-such-node"));
}

// Which watch-shaped trees the search finds, and what it returns.
struct Watch {
  enum Shape {
    kCdcAcm,
    kUsbSerialAdapter,
    kTtyOnUsbDevice,
    kLookalikeSerial,  // another CDC-ACM device whose serial number reads VID_1915&PID_52F0
  } shape;
  bool held;  // another program holds its port
};
Watch Free(Watch::Shape shape) { return {shape, false}; }
Watch Held(Watch::Shape shape) { return {shape, true}; }

struct SearchCase {
  const char* name;
  std::vector<Watch> watches;  // attached in this order, ttys named in this order
  int expectedWatch;           // -1: empty result
};

void PrintTo(const SearchCase& c, std::ostream* out) { *out << c.name; }

class SysfsSearchTest : public ::testing::TestWithParam<SearchCase> {};

TEST_P(SysfsSearchTest, FindsTheWatchPort) {
  const SearchCase& c = GetParam();
  SysfsTree tree;
  std::vector<std::unique_ptr<Pty>> ptys;
  tree.UsbDevice(kPci + "/usb1", "1d6b", "0002", "0000:00:14.0");
  for (std::size_t i = 0; i < c.watches.size(); ++i) {
    ptys.push_back(std::make_unique<Pty>());
    if (c.watches[i].held) ptys.back()->Hold();
    const std::string usb = kPci + "/usb1/1-" + std::to_string(i + 1);
    const std::string tty = "ttyX" + std::to_string(i);
    const std::string serial = "KS000" + std::to_string(i);
    switch (c.watches[i].shape) {
      case Watch::kCdcAcm:
        tree.UsbDevice(usb, "1915", "52f0", serial);
        tree.Tty(tty, tree.UsbInterface(usb + "/" + usb.substr(usb.rfind('/') + 1) + ":1.0", "00"),
                 ptys.back()->devname());
        break;
      case Watch::kUsbSerialAdapter: {
        tree.UsbDevice(usb, "1915", "52f0", serial);
        const std::string interface = usb + "/" + usb.substr(usb.rfind('/') + 1) + ":1.0";
        tree.UsbInterface(interface, "00");
        tree.Tty(tty, tree.Device(interface + "/ttyUSB" + std::to_string(i), "usb-serial"),
                 ptys.back()->devname());
        break;
      }
      case Watch::kLookalikeSerial:
        tree.UsbDevice(usb, "2341", "0043", "VID_1915&PID_52F0");
        tree.Tty(tty, tree.UsbInterface(usb + "/" + usb.substr(usb.rfind('/') + 1) + ":1.0", "00"),
                 ptys.back()->devname());
        break;
      case Watch::kTtyOnUsbDevice:
        tree.Tty(tty, tree.UsbDevice(usb, "1915", "52f0", serial), ptys.back()->devname());
        break;
    }
  }
  SysfsSerialDevices devices(tree.root());
  const std::u16string expected = c.expectedWatch < 0 ? u"" : U16(ptys[c.expectedWatch]->path());
  EXPECT_EQ(FindDevicePortPath(devices, 0x1915, 0x52F0), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sysfs, SysfsSearchTest,
    ::testing::Values(
        SearchCase{"NoWatch", {}, -1}, SearchCase{"CdcAcmWatch", {Free(Watch::kCdcAcm)}, 0},
        // The adapter's port device sits under the USB interface, which
        // carries the identity: like a vendor serial driver's COM port under
        // its USB device node on Windows, it is found.
        SearchCase{"UsbSerialAdapterWatch", {Free(Watch::kUsbSerialAdapter)}, 0},
        // The tty's own node is the USB device; its parent is the root hub.
        SearchCase{"TtyOnUsbDeviceNotFound", {Free(Watch::kTtyOnUsbDevice)}, -1},
        SearchCase{"HeldWatchPathStillReturned", {Held(Watch::kCdcAcm)}, 0},
        SearchCase{"HeldFirstFreeSecond", {Held(Watch::kCdcAcm), Free(Watch::kCdcAcm)}, 1},
        SearchCase{
            "BothHeldLastReturned", {Held(Watch::kCdcAcm), Held(Watch::kUsbSerialAdapter)}, 1},
        SearchCase{"FreeFirstWins", {Free(Watch::kCdcAcm), Free(Watch::kCdcAcm)}, 0},
        SearchCase{"UnmatchedThenWatch", {Free(Watch::kTtyOnUsbDevice), Free(Watch::kCdcAcm)}, 1},
        // Its parent's ID text holds the identity, but its idVendor and
        // idProduct are another device's.
        SearchCase{"LookalikeSerialNotFound", {Free(Watch::kLookalikeSerial)}, -1},
        SearchCase{
            "LookalikeSerialThenWatch", {Free(Watch::kLookalikeSerial), Free(Watch::kCdcAcm)}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// The serial number as the watch gives it (UTF-8 in sysfs); a byte that is
// no UTF-8 shows as U+FFFD, a watch without one has none.
TEST(SysfsSerialDevices, UsbSerialNumberIsReadAsUtf8) {
  SysfsTree tree;
  Pty named, unnamed;
  const std::string usb = kPci + "/usb1";
  tree.UsbDevice(usb, "1d6b", "0002", "0000:00:14.0");
  tree.UsbDevice(usb + "/1-1", "1915", "52f0", "KS-\xC3\x9C\xF0\x9F\x90\xA0-\xFF\xC0\xAF");
  tree.Tty("ttyACM0", tree.UsbInterface(usb + "/1-1/1-1:1.0", "00"), named.devname());
  tree.UsbDevice(usb + "/1-2", "1915", "52f0");
  tree.Tty("ttyACM1", tree.UsbInterface(usb + "/1-2/1-2:1.0", "00"), unnamed.devname());
  SysfsSerialDevices devices(tree.root());
  const WatchDiscovery found = DiscoverWatches(devices, 0x1915, 0x52F0);
  ASSERT_EQ(found.watches.size(), 2u);
  EXPECT_EQ(found.watches[0].usbSerial, u"KS-\u00DC\U0001F420-\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(found.watches[1].usbSerial, u"");
  EXPECT_EQ(found.watches[1].usbLocation, u"1-2");
}

// Three watches, each plugged in its own way, between a look-alike and a
// port with no USB device behind it; which of them another program holds.
struct EveryWatchCase {
  const char* name;
  bool firstHeld;               // the CDC-ACM watch on ttyACM0
  std::u16string expectedPick;  // "ACM0" / "ACM1": the ttyACMn FindDevicePortPath returns
  std::vector<std::string> expectedVerdicts;
};

void PrintTo(const EveryWatchCase& c, std::ostream* out) { *out << c.name; }

class SysfsEveryWatchTest : public ::testing::TestWithParam<EveryWatchCase> {};

TEST_P(SysfsEveryWatchTest, DiscoversEveryWatchAndFindsTheFirstThatOpens) {
  const EveryWatchCase& c = GetParam();
  SysfsTree tree;
  Pty acm, behindHub, lookalike, uart, adapter;
  if (c.firstHeld) acm.Hold();
  const std::string usb = kPci + "/usb1";
  tree.UsbDevice(usb, "1d6b", "0002", "0000:00:14.0");
  tree.UsbDevice(usb + "/1-2", "1915", "52f0", "KS0001");
  tree.Tty("ttyACM0", tree.UsbInterface(usb + "/1-2/1-2:1.0", "00"), acm.devname());
  tree.UsbDevice(usb + "/1-1", "05e3", "0610", "");
  tree.UsbDevice(usb + "/1-1/1-1.4", "1915", "52f0", "KS0003");
  tree.Tty("ttyACM1", tree.UsbInterface(usb + "/1-1/1-1.4/1-1.4:1.0", "00"), behindHub.devname());
  tree.UsbDevice(usb + "/1-5", "2341", "0043", "VID_1915&PID_52F0");
  tree.Tty("ttyACM2", tree.UsbInterface(usb + "/1-5/1-5:1.0", "00"), lookalike.devname());
  tree.Device("platform");
  tree.Tty("ttyS0", tree.Device("platform/serial8250", "platform"), uart.devname());
  tree.UsbDevice(usb + "/1-3", "1915", "52f0", "KS0002");
  tree.UsbInterface(usb + "/1-3/1-3:1.0", "00");
  tree.Tty("ttyUSB0", tree.Device(usb + "/1-3/1-3:1.0/ttyUSB0", "usb-serial"), adapter.devname());
  SysfsSerialDevices devices(tree.root());

  const WatchDiscovery found = DiscoverWatches(devices, 0x1915, 0x52F0);
  ASSERT_EQ(found.watches.size(), 3u);
  const DiscoveredWatch expected[] = {
      {U16(acm.path()), u"KS0001", u"1-2", !c.firstHeld},
      {U16(behindHub.path()), u"KS0003", u"1-1.4", true},
      {U16(adapter.path()), u"KS0002", u"1-3", true},
  };
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(found.watches[i].portPath, expected[i].portPath);
    EXPECT_EQ(found.watches[i].usbSerial, expected[i].usbSerial);
    EXPECT_EQ(found.watches[i].usbLocation, expected[i].usbLocation);
    EXPECT_EQ(found.watches[i].opensNow, expected[i].opensNow);
  }
  ASSERT_EQ(found.passedOver.size(), 2u);
  EXPECT_EQ(found.passedOver[0].instanceId, u"USB\\VID_2341&PID_0043&MI_00\\1-5:1.0");
  EXPECT_EQ(found.passedOver[0].reason, "parent is not the watch (2341:0043)");
  EXPECT_EQ(found.passedOver[0].path, U16(lookalike.path()));
  EXPECT_EQ(found.passedOver[1].instanceId, u"PLATFORM\\serial8250");
  EXPECT_EQ(found.passedOver[1].reason, "parent is no USB device");
  EXPECT_EQ(found.passedOver[1].path, U16(uart.path()));

  std::vector<DiscoveryCandidate> candidates;
  const std::u16string pick = c.expectedPick == u"ACM0" ? U16(acm.path()) : U16(behindHub.path());
  EXPECT_EQ(FindDevicePortPath(devices, 0x1915, 0x52F0, &candidates), pick);
  std::vector<std::string> verdicts;
  for (const auto& candidate : candidates) verdicts.push_back(candidate.verdict);
  EXPECT_EQ(verdicts, c.expectedVerdicts);
}

INSTANTIATE_TEST_SUITE_P(
    Sysfs, SysfsEveryWatchTest,
    ::testing::Values(EveryWatchCase{"AllFree", false, u"ACM0", {"picked"}},
                      EveryWatchCase{"FirstHeld", true, u"ACM1", {"port busy", "picked"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrune
