#pragma once
// Test support for whole-update runs: a temporary HOME for the user data
// folder, a sysfs-shaped device tree whose watch tty is a simulator's pty,
// and image files.

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace kestrune {
namespace testing_support {
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

inline fs::path MakeTempDir(const char* what) {
  std::string pattern = std::string("/tmp/kestrune-") + what + "-XXXXXX";
  return fs::path(mkdtemp(pattern.data()));
}

inline Bytes ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const fs::path& file, const Bytes& bytes) {
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Reproducible random bytes: a different image for every seed.
inline Bytes RandomImage(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(generator());
  return bytes;
}

// HOME and XDG_CONFIG_HOME point at a fresh folder for the test's lifetime,
// so the user data folder is <temp>/Documents/orvel kestrune.
class TempHome {
 public:
  TempHome() : dir_(MakeTempDir("home")) {
    Save("HOME");
    Save("XDG_CONFIG_HOME");
    setenv("HOME", dir_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir_ / ".config").c_str(), 1);
  }
  ~TempHome() {
    for (auto& [name, value] : saved_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
    fs::remove_all(dir_);
  }
  fs::path DataFolder() const { return dir_ / "Documents" / "orvel kestrune"; }

 private:
  void Save(const char* name) {
    const char* value = getenv(name);
    saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
  }
  fs::path dir_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// A sysfs-shaped tree with a hub and, when asked, a CDC-ACM dive watch whose
// tty node is `watchNode` (a /dev/pts/N of the simulator).
class DeviceTree {
 public:
  explicit DeviceTree(const std::string& watchNode) : root_(MakeTempDir("sysfs")) {
    fs::create_directories(root_ / "class" / "tty");
    fs::create_directories(root_ / "bus" / "usb");
    const std::string usb = "pci0000:00/0000:00:14.0/usb1";
    UsbDevice(usb, "1d6b", "0002");
    if (watchNode.empty()) return;
    UsbDevice(usb + "/1-1", "1915", "52f0");
    const fs::path interface = Device(usb + "/1-1/1-1:1.0");
    std::ofstream(interface / "bInterfaceNumber") << "00\n";
    const fs::path tty = interface / "tty" / "ttyACM0";
    fs::create_directories(tty);
    fs::create_directory_symlink(fs::relative(interface, tty), tty / "device");
    std::ofstream(tty / "uevent") << "MAJOR=166\nMINOR=0\nDEVNAME=" << watchNode.substr(5) << "\n";
    fs::create_directory_symlink(fs::relative(tty, root_ / "class" / "tty"),
                                 root_ / "class" / "tty" / "ttyACM0");
  }
  ~DeviceTree() { fs::remove_all(root_); }
  const fs::path& root() const { return root_; }

 private:
  fs::path Device(const std::string& path) {
    const fs::path dir = root_ / "devices" / path;
    fs::create_directories(dir);
    fs::create_directory_symlink(fs::relative(root_ / "bus" / "usb", dir), dir / "subsystem");
    return dir;
  }
  void UsbDevice(const std::string& path, const char* vid, const char* pid) {
    const fs::path dir = Device(path);
    std::ofstream(dir / "idVendor") << vid << "\n";
    std::ofstream(dir / "idProduct") << pid << "\n";
  }
  fs::path root_;
};

}  // namespace testing_support
}  // namespace kestrune
