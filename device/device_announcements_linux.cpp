// Linux: udev multicasts each device event, once its rules have run, on the
// kernel's uevent netlink family, group 2; any process may listen. Only
// whether a tty is named matters here, so the message is not parsed
// further (udev's own header and properties, "KEY=value" each ending in a
// NUL byte).
#include <fcntl.h>
#include <linux/netlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string_view>
#include <thread>

#include "device/device_announcements.h"

namespace kestrune {
namespace {

constexpr unsigned kUdevGroup = 2;

}  // namespace

struct DeviceAnnouncements::Listener {
  int socket = -1;
  int stop[2] = {-1, -1};
  std::thread thread;
};

DeviceAnnouncements::DeviceAnnouncements(std::function<void()> heard) : listener_(new Listener) {
  Listener& l = *listener_;
  l.socket =
      ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT);
  sockaddr_nl address{};
  address.nl_family = AF_NETLINK;
  address.nl_groups = kUdevGroup;
  if (l.socket < 0 ||
      ::bind(l.socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::pipe2(l.stop, O_CLOEXEC) != 0) {
    if (l.socket >= 0) ::close(l.socket);
    l.socket = -1;
    return;  // nothing is heard; the listing alone serves
  }
  l.thread = std::thread([&l, heard = std::move(heard)] {
    static constexpr std::string_view kTty("SUBSYSTEM=tty", sizeof "SUBSYSTEM=tty");  // with NUL
    char message[8192];
    for (;;) {
      pollfd fds[2] = {{l.stop[0], POLLIN, 0}, {l.socket, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) continue;
      if (fds[0].revents != 0) return;
      const ssize_t got = ::recv(l.socket, message, sizeof message, 0);
      if (got <= 0) continue;
      if (std::string_view(message, static_cast<std::size_t>(got)).find(kTty) !=
          std::string_view::npos) {
        heard();
      }
    }
  });
}

DeviceAnnouncements::~DeviceAnnouncements() {
  Listener& l = *listener_;
  if (l.thread.joinable()) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(l.stop[1], &byte, 1);
    l.thread.join();
  }
  for (int fd : {l.socket, l.stop[0], l.stop[1]}) {
    if (fd >= 0) ::close(fd);
  }
}

bool DeviceAnnouncements::Listening() const { return listener_->socket >= 0; }

}  // namespace kestrune
