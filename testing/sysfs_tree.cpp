#include "testing/sysfs_tree.h"

#include <fstream>

namespace kestrune {
namespace testing_support {
namespace {

namespace fs = std::filesystem;

void WriteLine(const fs::path& file, const std::string& text) {
  std::ofstream(file) << text << "\n";
}

}  // namespace

SysfsTree::SysfsTree() : folder_("sysfs") {
  for (const char* folder : {"class/tty", "bus/usb", "bus/usb-serial", "bus/platform"}) {
    fs::create_directories(root() / folder);
  }
}

fs::path SysfsTree::Device(const std::string& path, const std::string& bus) {
  const fs::path dir = root() / "devices" / path;
  fs::create_directories(dir);
  if (!bus.empty()) {
    fs::create_directory_symlink(fs::relative(root() / "bus" / bus, dir), dir / "subsystem");
  }
  return dir;
}

fs::path SysfsTree::UsbDevice(const std::string& path, const std::string& vid,
                              const std::string& pid, const std::string& serial) {
  const fs::path dir = Device(path, "usb");
  WriteLine(dir / "idVendor", vid);
  WriteLine(dir / "idProduct", pid);
  if (!serial.empty()) WriteLine(dir / "serial", serial);
  return dir;
}

fs::path SysfsTree::UsbInterface(const std::string& path, const std::string& number) {
  const fs::path dir = Device(path, "usb");
  WriteLine(dir / "bInterfaceNumber", number);
  return dir;
}

void SysfsTree::Tty(const std::string& name, const fs::path& device, const std::string& devname) {
  const fs::path dir =
      device.empty() ? root() / "devices" / "virtual" / "tty" / name : device / "tty" / name;
  fs::create_directories(dir);
  if (!device.empty()) fs::create_directory_symlink(fs::relative(device, dir), dir / "device");
  WriteLine(dir / "uevent", "MAJOR=136\nMINOR=3\nDEVNAME=" + devname);
  const fs::path entry = root() / "class" / "tty" / name;
  fs::create_directory_symlink(fs::relative(dir, entry.parent_path()), entry);
}

DiveWatchSysfsTree::DiveWatchSysfsTree(const std::string& watchNode, const std::string& serial) {
  const std::string hub = "pci0000:00/0000:00:14.0/usb1";
  tree_.UsbDevice(hub, "1d6b", "0002");
  if (watchNode.empty()) return;
  tree_.UsbDevice(hub + "/1-1", "1915", "52f0", serial);
  tree_.Tty("ttyACM0", tree_.UsbInterface(hub + "/1-1/1-1:1.0", "00"),
            watchNode.substr(std::string("/dev/").size()));
}

}  // namespace testing_support
}  // namespace kestrune
