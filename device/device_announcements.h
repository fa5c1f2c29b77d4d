#pragma once
// The system's announcements of serial ports that come and go, as a wake-up
// call only: the device tree's listing stays what is believed, so where
// nothing is announced (a container, a private mount namespace, a system
// without udev) a loop that also lists the tree now and then works alike.
// Linux listens to udev's announcements (after its rules have set the
// port's permissions); Windows to the arrival and removal of COM-port
// device interfaces (WM_DEVICECHANGE to a message-only window).

#include <functional>
#include <memory>

namespace kestrune {

class DeviceAnnouncements {
 public:
  // `heard` is called on a thread of its own for each announcement of a
  // serial port (tty) device; it must not block.
  explicit DeviceAnnouncements(std::function<void()> heard);
  // Stops listening; `heard` is not called once this returns.
  ~DeviceAnnouncements();
  DeviceAnnouncements(const DeviceAnnouncements&) = delete;
  DeviceAnnouncements& operator=(const DeviceAnnouncements&) = delete;

  // Whether the system's announcements can be heard here at all.
  bool Listening() const;

 private:
  struct Listener;
  std::unique_ptr<Listener> listener_;
};

}  // namespace kestrune
