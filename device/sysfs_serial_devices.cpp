#include "device/sysfs_serial_devices.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "device/bounded_text.h"

namespace kestrune {
namespace fs = std::filesystem;
namespace {

std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string text;
  std::getline(in, text);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text;
}

bool ParseHex(const std::string& text, std::size_t maxDigits, unsigned& value) {
  if (text.empty() || text.size() > maxDigits) return false;
  value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  return true;
}

// sysfs names and attributes are ASCII in practice; anything else is shown
// as '?' since identities are only ever searched for ASCII patterns.
std::u16string ToUtf16(const std::string& text) {
  std::u16string out;
  for (unsigned char c : text) out.push_back(c < 0x80 ? char16_t(c) : u'?');
  return out;
}

// A USB string descriptor reaches sysfs as UTF-8; a byte that does not
// start or continue a well-formed sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80           ? 1
                               : (lead >> 5) == 0x6  ? 2
                               : (lead >> 4) == 0xE  ? 3
                               : (lead >> 3) == 0x1E ? 4
                                                     : 0;
    char32_t code = length == 1   ? lead
                    : length == 2 ? lead & 0x1F
                    : length == 3 ? lead & 0x0F
                                  : lead & 0x07;
    bool valid = length != 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are no UTF-8.
    static const char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (valid && (code < kLeast[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF))
      valid = false;
    if (!valid) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
    i += length;
  }
  return out;
}

bool IsPrintableAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](unsigned char c) { return c > 0x20 && c < 0x7F; });
}

bool ReadUsbIds(const fs::path& device, unsigned& vendor, unsigned& product) {
  return ParseHex(ReadAttribute(device / "idVendor"), 4, vendor) &&
         ParseHex(ReadAttribute(device / "idProduct"), 4, product);
}

bool IsUsbInterface(const fs::path& device) {
  unsigned interfaceNumber = 0;
  return ParseHex(ReadAttribute(device / "bInterfaceNumber"), 2, interfaceNumber);
}

// "VID_1915&PID_52F0" of a USB device directory, or empty.
std::string UsbIdentity(const fs::path& device) {
  unsigned vendor = 0, product = 0;
  if (!ReadUsbIds(device, vendor, product)) return {};
  char text[32];
  std::snprintf(text, sizeof text, "VID_%04X&PID_%04X", vendor, product);
  return text;
}

// The node a tty's DEVNAME names under /dev, refusing anything that could
// leave /dev.
std::string DeviceNode(const fs::path& tty) {
  std::string name;
  std::ifstream uevent(tty / "uevent");
  for (std::string line; std::getline(uevent, line);) {
    if (line.rfind("DEVNAME=", 0) == 0) name = line.substr(8);
  }
  if (name.empty()) name = tty.filename().string();
  if (!IsPrintableAscii(name) || name.front() == '/') return {};
  for (const auto& part : fs::path(name)) {
    if (part == "..") return {};
  }
  return "/dev/" + name;
}

bool IsWithin(const fs::path& path, const fs::path& top) {
  auto mismatch = std::mismatch(top.begin(), top.end(), path.begin(), path.end());
  return mismatch.first == top.end() && mismatch.second != path.end();
}

class SysfsDeviceList : public SerialDeviceList {
 public:
  // One entry per device of `listing`, in the order of its first tty.
  SysfsDeviceList(const SysfsSerialDevices& tree,
                  std::shared_ptr<const SysfsSerialDevices::PortListing> listing)
      : tree_(tree), listing_(std::move(listing)) {
    for (std::size_t i = 0; i < listing_->ports.size(); ++i) {
      const fs::path& device = listing_->ports[i].device;
      if (std::find(devices_.begin(), devices_.end(), device) == devices_.end()) {
        devices_.push_back(device);
        identities_.push_back(listing_->identities[i]);
      }
    }
  }

  bool SelectDevice(std::size_t index) override {
    if (index >= devices_.size()) return false;
    current_ = index;
    return true;
  }
  bool ReadInstanceId(char16_t* buffer, std::size_t capacity) override {
    return Write(identities_[current_], buffer, capacity);
  }
  bool ReadParentId(char16_t* buffer, std::size_t capacity) override {
    return Write(tree_.DeviceIdentity(devices_[current_].parent_path()), buffer, capacity);
  }
  ParentUsbIdentity ReadParentUsbIdentity(std::uint16_t& vendorId,
                                          std::uint16_t& productId) override {
    return tree_.UsbIds(devices_[current_].parent_path(), vendorId, productId)
               ? ParentUsbIdentity::kUsb
               : ParentUsbIdentity::kNotUsb;
  }
  // Of the USB device the parent belongs to, as the parent's identity is.
  bool ReadUsbSerialNumber(char16_t* buffer, std::size_t capacity) override {
    return Write(tree_.UsbSerialNumber(devices_[current_].parent_path()), buffer, capacity);
  }
  bool ReadUsbLocation(char16_t* buffer, std::size_t capacity) override {
    return Write(tree_.UsbLocation(devices_[current_].parent_path()), buffer, capacity);
  }

 private:
  static bool Write(const std::u16string& id, char16_t* buffer, std::size_t capacity) {
    return !id.empty() && CopyBoundedText(id, buffer, capacity);
  }

  const SysfsSerialDevices& tree_;
  std::shared_ptr<const SysfsSerialDevices::PortListing> listing_;
  std::vector<fs::path> devices_;
  std::vector<std::u16string> identities_;
  std::size_t current_ = 0;
};

}  // namespace

SysfsSerialDevices::SysfsSerialDevices(fs::path sysfsRoot) : root_(std::move(sysfsRoot)) {}

std::vector<SysfsSerialDevices::SerialPort> SysfsSerialDevices::ScanSerialPorts() const {
  std::error_code ec;
  std::vector<fs::path> ttys;
  for (fs::directory_iterator it(root_ / "class" / "tty", ec), end; !ec && it != end;
       it.increment(ec))
    ttys.push_back(it->path());
  std::sort(ttys.begin(), ttys.end());

  std::vector<SerialPort> ports;
  for (const auto& tty : ttys) {
    if (!fs::is_symlink(tty / "device", ec)) continue;  // virtual terminals, ptmx, ...
    fs::path device = fs::canonical(tty / "device", ec);
    if (ec) continue;
    std::string node = DeviceNode(tty);
    if (node.empty() || !fs::exists(node, ec)) continue;
    ports.push_back({device, node});
  }
  return ports;
}

std::u16string SysfsSerialDevices::DeviceIdentity(const fs::path& device) const {
  std::error_code ec;
  const fs::path top = fs::canonical(root_ / "devices", ec);
  if (ec || !IsWithin(device, top) || !fs::is_directory(device, ec)) return {};
  const std::string name = device.filename().string();

  std::string usb = UsbIdentity(device);
  if (!usb.empty()) {
    std::string serial = ReadAttribute(device / "serial");
    if (serial.empty() || serial.find('\\') != std::string::npos) serial = name;
    return ToUtf16("USB\\" + usb + "\\" + serial);
  }
  unsigned interfaceNumber = 0;
  std::string parentUsb = UsbIdentity(device.parent_path());
  if (!parentUsb.empty() &&
      ParseHex(ReadAttribute(device / "bInterfaceNumber"), 2, interfaceNumber)) {
    char mi[8];
    std::snprintf(mi, sizeof mi, "&MI_%02X", interfaceNumber);
    return ToUtf16("USB\\" + parentUsb + mi + "\\" + name);
  }
  std::string subsystem = fs::read_symlink(device / "subsystem", ec).filename().string();
  if (ec || subsystem.empty()) subsystem = "device";
  std::transform(subsystem.begin(), subsystem.end(), subsystem.begin(),
                 [](unsigned char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : char(c); });
  return ToUtf16(subsystem + "\\" + name);
}

bool SysfsSerialDevices::UsbIds(const fs::path& device, std::uint16_t& vendorId,
                                std::uint16_t& productId) const {
  const fs::path usb = UsbDeviceOf(device);
  unsigned vendor = 0, product = 0;
  if (usb.empty() || !ReadUsbIds(usb, vendor, product)) return false;
  vendorId = static_cast<std::uint16_t>(vendor);
  productId = static_cast<std::uint16_t>(product);
  return true;
}

fs::path SysfsSerialDevices::UsbDeviceOf(const fs::path& device) const {
  std::error_code ec;
  const fs::path top = fs::canonical(root_ / "devices", ec);
  if (ec || !IsWithin(device, top) || !fs::is_directory(device, ec)) return {};
  unsigned vendor = 0, product = 0;
  if (ReadUsbIds(device, vendor, product)) return device;
  if (IsUsbInterface(device) && IsWithin(device.parent_path(), top) &&
      ReadUsbIds(device.parent_path(), vendor, product))
    return device.parent_path();
  return {};
}

std::u16string SysfsSerialDevices::UsbSerialNumber(const fs::path& device) const {
  const fs::path usb = UsbDeviceOf(device);
  if (usb.empty()) return {};
  return Utf8ToUtf16(ReadAttribute(usb / "serial"));
}

std::u16string SysfsSerialDevices::UsbLocation(const fs::path& device) const {
  const fs::path usb = UsbDeviceOf(device);
  if (usb.empty()) return {};
  return ToUtf16(usb.filename().string());
}

std::shared_ptr<const SysfsSerialDevices::PortListing> SysfsSerialDevices::ListPorts() const {
  auto listing = std::make_shared<PortListing>();
  listing->ports = ScanSerialPorts();
  for (const SerialPort& port : listing->ports) {
    listing->identities.push_back(DeviceIdentity(port.device));
  }
  return listing;
}

std::unique_ptr<SerialDeviceList> SysfsSerialDevices::ListSerialPortDevices() {
  std::shared_ptr<const PortListing> listing = ListPorts();
  {
    std::lock_guard<std::mutex> lock(walkedMutex_);
    walked_ = listing;
  }
  return std::make_unique<SysfsDeviceList>(*this, std::move(listing));
}

bool SysfsSerialDevices::ReadInterfacePaths(const char16_t* instanceId, char16_t* buffer,
                                            std::size_t capacity) {
  std::shared_ptr<const PortListing> listing;
  {
    std::lock_guard<std::mutex> lock(walkedMutex_);
    listing = walked_.lock();
  }
  if (!listing) listing = ListPorts();
  const std::u16string id(instanceId);
  std::vector<std::u16string> paths;
  for (std::size_t i = 0; i < listing->ports.size(); ++i) {
    if (listing->identities[i] == id) paths.push_back(ToUtf16(listing->ports[i].node));
  }
  return CopyBoundedTextList(paths, buffer, capacity);
}

bool SysfsSerialDevices::ProbeExclusiveOpen(const char16_t* path) {
  std::string node;
  for (const char16_t* c = path; *c != u'\0'; ++c) {
    if (*c >= 0x80) return false;  // nodes are ASCII (see DeviceNode)
    node.push_back(static_cast<char>(*c));
  }
  // The serial link holds its port with TIOCEXCL and a non-blocking flock:
  // the open fails on the first (for the unprivileged), the lock on the second.
  int fd = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return free;
}

}  // namespace kestrune
