#pragma once
// A sysfs-shaped tree in a temporary folder, for the Linux device search:
// device folders under devices/, each tty in its device's tty/ folder, and
// the class/tty entries as relative links, the way the kernel lays them out.

#include <filesystem>
#include <string>

#include "testing/temp_folder.h"

namespace kestrune {
namespace testing_support {

class SysfsTree {
 public:
  SysfsTree();

  const std::filesystem::path& root() const { return folder_.path(); }

  // A device folder at devices/`path`, on `bus` when one is given.
  std::filesystem::path Device(const std::string& path, const std::string& bus = "");
  // A USB device with its identity and, when not empty, its serial number.
  std::filesystem::path UsbDevice(const std::string& path, const std::string& vid,
                                  const std::string& pid, const std::string& serial = "");
  std::filesystem::path UsbInterface(const std::string& path, const std::string& number);
  // A tty `name` under `device` (empty: a virtual tty with no device link)
  // whose uevent names `devname`, the node below /dev ("pts/3").
  void Tty(const std::string& name, const std::filesystem::path& device,
           const std::string& devname);

 private:
  TempFolder folder_;
};

// A tree with a root hub and, unless `watchNode` is empty, the dive watch as
// a CDC-ACM device on it at 1-1 whose tty is `watchNode` (a "/dev/pts/N"),
// with `serial` as its USB serial number when one is given.
class DiveWatchSysfsTree {
 public:
  explicit DiveWatchSysfsTree(const std::string& watchNode, const std::string& serial = "");
  const std::filesystem::path& root() const { return tree_.root(); }

 private:
  SysfsTree tree_;
};

}  // namespace testing_support
}  // namespace kestrune
