// The search itself, over an in-memory device tree whose queries honour the
// caller's buffer capacities the way the Windows calls do.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "device/bounded_text.h"
#include "device/device_discovery.h"
#include "device/serial_device_tree.h"
#include "device/watch_discovery.h"

namespace kestrune {
namespace {

struct FakeDevice {
  std::u16string ownId;
  std::u16string parentId;  // empty: the parent query fails
  std::vector<std::u16string> paths;
};

struct FakeTree {
  bool listAvailable = true;
  std::vector<FakeDevice> devices;
  std::set<std::u16string> heldPaths;  // ports someone else has open
};

class FakeDeviceList : public SerialDeviceList {
 public:
  FakeDeviceList(const FakeTree& tree, int& openLists) : tree_(tree), openLists_(openLists) {
    ++openLists_;
  }
  ~FakeDeviceList() override { --openLists_; }
  bool SelectDevice(std::size_t index) override {
    current_ = index;
    return index < tree_.devices.size();
  }
  bool ReadInstanceId(char16_t* buffer, std::size_t capacity) override {
    return CopyBoundedText(tree_.devices[current_].ownId, buffer, capacity);
  }
  bool ReadParentId(char16_t* buffer, std::size_t capacity) override {
    const auto& parent = tree_.devices[current_].parentId;
    return !parent.empty() && CopyBoundedText(parent, buffer, capacity);
  }

 private:
  const FakeTree& tree_;
  int& openLists_;
  std::size_t current_ = 0;
};

class FakeDeviceTree : public SerialDeviceTree {
 public:
  explicit FakeDeviceTree(FakeTree tree) : tree_(std::move(tree)) {}

  std::unique_ptr<SerialDeviceList> ListSerialPortDevices() override {
    if (!tree_.listAvailable) return nullptr;
    return std::make_unique<FakeDeviceList>(tree_, openLists);
  }
  bool ReadInterfacePaths(const char16_t* instanceId, char16_t* buffer,
                          std::size_t capacity) override {
    for (const auto& device : tree_.devices) {
      if (device.ownId == instanceId) return CopyBoundedTextList(device.paths, buffer, capacity);
    }
    return false;
  }
  bool ProbeExclusiveOpen(const char16_t* path) override {
    EXPECT_EQ(openLists, 1) << "probing outside the device list's lifetime";
    probed.push_back(path);
    return tree_.heldPaths.count(path) == 0;
  }

  int openLists = 0;
  std::vector<std::u16string> probed;

 private:
  FakeTree tree_;
};

const std::u16string kWatchNode = u"USB\\VID_1915&PID_52F0\\KS0001";
const std::u16string kHub = u"USB\\ROOT_HUB30\\4&1A2B3C&0&0";

FakeDevice Watch(std::u16string ownId, std::u16string path, std::u16string parent = kWatchNode) {
  return {std::move(ownId), std::move(parent), {std::move(path)}};
}

struct Case {
  const char* name;
  FakeTree tree;
  std::u16string expected;
  std::vector<std::u16string> expectedProbes;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class FindDevicePortPathTest : public ::testing::TestWithParam<Case> {};

TEST_P(FindDevicePortPathTest, ReturnsThePathOfTheRightPort) {
  const Case& c = GetParam();
  FakeDeviceTree devices(c.tree);
  EXPECT_EQ(FindDevicePortPath(devices, 0x1915, 0x52F0), c.expected);
  EXPECT_EQ(devices.probed, c.expectedProbes);
  EXPECT_EQ(devices.openLists, 0) << "the device list was not released";
}

const std::u16string kPortA =
    u"\\\\?\\USB#VID_1915&PID_52F0&MI_00#7&1&0&0000#{86e0d1e0-8089-11d0-9ce4-08003e301f73}";
const std::u16string kPortB =
    u"\\\\?\\USB#VID_1915&PID_52F0&MI_00#7&2&0&0000#{86e0d1e0-8089-11d0-9ce4-08003e301f73}";
const std::u16string kOtherPort =
    u"\\\\?\\FTDIBUS#VID_0403+PID_6001#{86e0d1e0-8089-11d0-9ce4-08003e301f73}";

// An ID of exactly this many UTF-16 units, ending in the given text.
std::u16string IdOfLength(std::size_t length, const std::u16string& tail) {
  return std::u16string(length - tail.size(), u'X') + tail;
}

std::vector<Case> Cases() {
  return {
      {"NoDeviceList", FakeTree{false, {}, {}}, u"", {}},
      {"NoDevice", FakeTree{}, u"", {}},
      {"CompositeWatchFound",
       FakeTree{
           true,
           {{u"FTDIBUS\\VID_0403+PID_6001+A1\\0000", u"USB\\VID_0403&PID_6001\\A1", {kOtherPort}},
            Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&1&0&0000", kPortA)},
           {}},
       kPortA,
       {kPortA}},
      {"OwnIdMatchOnlyIsNotFound",
       FakeTree{true, {Watch(u"USB\\VID_1915&PID_52F0\\KS0001", kPortA, kHub)}, {}},
       u"",
       {}},
      {"LowerCaseParentMatches",
       FakeTree{
           true,
           {Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&1", kPortA, u"usb\\vid_1915&pid_52f0\\ks0001")},
           {}},
       kPortA,
       {kPortA}},
      {"OtherProductIsNotFound",
       FakeTree{
           true,
           {Watch(u"USB\\VID_1915&PID_52F1&MI_00\\7&1", kPortA, u"USB\\VID_1915&PID_52F1\\KS0001")},
           {}},
       u"",
       {}},
      {"ParentQueryFailsSkips",
       FakeTree{true, {Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&1", kPortA, u"")}, {}},
       u"",
       {}},
      {"HeldPortPathStillReturned",
       FakeTree{true, {Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&1", kPortA)}, {kPortA}},
       kPortA,
       {kPortA}},
      {"FirstUnopenableSecondOpens",
       FakeTree{true,
                {Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&1", kPortA),
                 Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&2", kPortB)},
                {kPortA}},
       kPortB,
       {kPortA, kPortB}},
      {"FirstOpenableWinsOverLater",
       FakeTree{true,
                {Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&1", kPortA),
                 Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&2", kPortB)},
                {}},
       kPortA,
       {kPortA}},
      {"NoneOpensLastQueriedPathReturned",
       FakeTree{true,
                {Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&1", kPortA),
                 Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&2", kPortB),
                 Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&3", kOtherPort, kHub)},
                {kPortA, kPortB}},
       kPortB,
       {kPortA, kPortB}},
      {"OnlyFirstOfSeveralPathsProbedAndReturned",
       FakeTree{
           true, {{u"USB\\VID_1915&PID_52F0&MI_00\\7&1", kWatchNode, {kPortA, kPortB}}}, {kPortA}},
       kPortA,
       {kPortA}},
      {"OwnIdTooLongSkipsDevice",
       FakeTree{true,
                {Watch(IdOfLength(8192, u"&MI_00\\1"), kPortA),
                 Watch(IdOfLength(8191, u"&MI_00\\2"), kPortB)},
                {}},
       kPortB,
       {kPortB}},
      {"ParentIdTooLongSkipsDevice",
       FakeTree{true,
                {Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&1", kPortA,
                       IdOfLength(1024, u"USB\\VID_1915&PID_52F0\\1")),
                 Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&2", kPortB,
                       IdOfLength(1023, u"USB\\VID_1915&PID_52F0\\2"))},
                {}},
       kPortB,
       {kPortB}},
      {"InterfaceListTooLongSkipsDevice",
       // A list of one path of n units needs n + 2 units.
       FakeTree{true,
                {Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&1", IdOfLength(1023, u"A")),
                 Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&2", IdOfLength(1022, u"B"))},
                {}},
       IdOfLength(1022, u"B"),
       {IdOfLength(1022, u"B")}},
  };
}

INSTANTIATE_TEST_SUITE_P(Search, FindDevicePortPathTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FindDevicePortPathPattern, UsesFourUpperCaseHexDigitsOfEachId) {
  FakeTree tree;
  tree.devices = {Watch(u"USB\\VID_00AB&PID_0C0D&MI_00\\1", kPortA, u"USB\\VID_00AB&PID_0C0D\\S"),
                  Watch(u"USB\\VID_0AB0&PID_C0D0&MI_00\\1", kPortB, u"USB\\VID_0AB0&PID_C0D0\\S")};
  FakeDeviceTree first(tree);
  EXPECT_EQ(FindDevicePortPath(first, 0x0AB, 0xC0D), kPortA);
  FakeDeviceTree second(tree);
  EXPECT_EQ(FindDevicePortPath(second, 0xAB0, 0xC0D0), kPortB);
}

// Unlike the search for the one port to update, the list goes on past a port
// that opens, and says for every other device why it is not a watch.
TEST(DiscoverWatches, ListsEveryWatchPortAndWhyTheOthersAreNot) {
  const std::u16string kPortC = u"\\\\?\\USB#VID_1915&PID_52F0&MI_00#7&9";
  FakeTree tree;
  tree.devices = {
      {u"FTDIBUS\\VID_0403+PID_6001+A1\\0000", u"USB\\VID_0403&PID_6001\\A1", {kOtherPort}},
      Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&1", kPortA),
      Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&2", kPortA, u""),
      Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&3", kPortB),
      Watch(u"USB\\VID_1915&PID_52F0\\KS0002", kPortB, kHub),
      Watch(IdOfLength(8192, u"&MI_00\\4"), kPortB),
      {u"USB\\VID_1915&PID_52F0&MI_00\\7&5", kWatchNode, {}},
      Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&6", kPortC),
  };
  tree.heldPaths = {kPortA};
  FakeDeviceTree devices(tree);
  const WatchDiscovery found = DiscoverWatches(devices, 0x1915, 0x52F0);
  EXPECT_EQ(devices.openLists, 0) << "the device list was not released";

  ASSERT_EQ(found.watches.size(), 3u);
  EXPECT_EQ(found.watches[0].portPath, kPortA);
  EXPECT_FALSE(found.watches[0].opensNow);
  EXPECT_EQ(found.watches[1].portPath, kPortB);
  EXPECT_TRUE(found.watches[1].opensNow);
  EXPECT_EQ(found.watches[2].portPath, kPortC);
  EXPECT_TRUE(found.watches[2].opensNow);
  // A tree that cannot tell serial number or location leaves them empty.
  EXPECT_EQ(found.watches[1].usbSerial, u"");
  EXPECT_EQ(found.watches[1].usbLocation, u"");

  std::vector<std::string> reasons;
  for (const auto& port : found.passedOver) reasons.push_back(port.reason);
  EXPECT_EQ(reasons, (std::vector<std::string>{"parent is not the watch (0403:6001)", "no parent",
                                               "parent is not the watch", "no instance ID",
                                               "no interface path"}));
  // Another device's port is named; a watch port passed over before its
  // path was read is not.
  EXPECT_EQ(found.passedOver[0].path, kOtherPort);
  EXPECT_EQ(found.passedOver[1].instanceId, u"USB\\VID_1915&PID_52F0&MI_00\\7&2");
  EXPECT_EQ(found.passedOver[1].path, u"");
  EXPECT_EQ(found.passedOver[3].instanceId, u"");
  EXPECT_EQ(found.passedOver[4].path, u"");
}

// The station's periodic look reads the tree only: opening a real watch's
// port toggles its modem lines and disturbs another program that uses it.
TEST(DiscoverWatches, TreeOnlyOpensNoPortAndStillListsEveryWatch) {
  FakeTree tree;
  tree.devices = {Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&1", kPortA),
                  Watch(u"USB\\VID_1915&PID_52F0&MI_00\\7&3", kPortB)};
  tree.heldPaths = {kPortA};
  FakeDeviceTree devices(tree);
  const WatchDiscovery found = DiscoverWatches(devices, 0x1915, 0x52F0, PortProbe::kTreeOnly);
  EXPECT_TRUE(devices.probed.empty()) << "a port was opened";
  ASSERT_EQ(found.watches.size(), 2u);
  EXPECT_EQ(found.watches[0].portPath, kPortA);
  EXPECT_EQ(found.watches[1].portPath, kPortB);
  for (const DiscoveredWatch& watch : found.watches) EXPECT_FALSE(watch.probed);

  FakeDeviceTree probing(tree);
  const WatchDiscovery opened = DiscoverWatches(probing, 0x1915, 0x52F0);
  EXPECT_EQ(probing.probed.size(), 2u);
  EXPECT_TRUE(opened.watches[1].probed);
}

// A tree that gives no device list is not a tree without watches: the
// station must not take the watches it writes for gone.
TEST(DiscoverWatches, SaysWhenTheTreeGaveNoListAtAll) {
  FakeTree unreadable;
  unreadable.listAvailable = false;
  FakeDeviceTree none(unreadable);
  const WatchDiscovery unread = DiscoverWatches(none, 0x1915, 0x52F0, PortProbe::kTreeOnly);
  EXPECT_FALSE(unread.treeRead);
  EXPECT_TRUE(unread.watches.empty());

  FakeDeviceTree empty{FakeTree{}};
  EXPECT_TRUE(DiscoverWatches(empty, 0x1915, 0x52F0, PortProbe::kTreeOnly).treeRead);
}

}  // namespace
}  // namespace kestrune
