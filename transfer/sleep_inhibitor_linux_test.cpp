// The logind sleep lock, taken from a stand-in logind: the machine that runs
// the tests has no system bus, so the test serves the one method the
// inhibitor calls on a private socket and points the system-bus address at it.
#include "transfer/sleep_inhibitor.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-id128.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "testing/scoped_environment_variable.h"
#include "testing/temp_folder.h"

namespace kestrune {
namespace {
using testing_support::ScopedEnvironmentVariable;
using testing_support::TempFolder;

// Answers Hello and org.freedesktop.login1.Manager.Inhibit for one client.
// Inhibit hands out the write end of a pipe and keeps the read end: the
// read end reports end-of-file once every copy of the lock fd is closed.
class StandInLogind {
 public:
  // `answers` false: Inhibit calls are taken and never answered.
  explicit StandInLogind(bool answers = true) : answers_(answers) {
    socketPath_ = (dir_.path() / "system_bus_socket").string();
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath_.c_str(), sizeof(address.sun_path) - 1);
    EXPECT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(listener_, 1), 0);
    thread_ = std::thread([this] { Serve(); });
  }
  ~StandInLogind() {
    stop_ = true;
    thread_.join();
    close(listener_);
    if (lockReadEnd_ >= 0) close(lockReadEnd_);
  }

  std::string Address() const { return "unix:path=" + socketPath_; }

  std::vector<std::string> InhibitArguments() {
    std::lock_guard<std::mutex> lock(mutex_);
    return arguments_;
  }

  // Waits up to `ms` for every copy of the handed-out lock fd to be closed.
  bool LockReleasedWithin(int ms) {
    int fd;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      fd = lockReadEnd_;
    }
    if (fd < 0) return false;
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, ms) == 1;  // readable means end-of-file: all closed
  }

 private:
  static int OnHello(sd_bus_message* call, void*, sd_bus_error*) {
    return sd_bus_reply_method_return(call, "s", ":1.1");
  }

  static int OnInhibit(sd_bus_message* call, void* self, sd_bus_error*) {
    auto* logind = static_cast<StandInLogind*>(self);
    if (!logind->answers_) return 1;  // left without a reply
    const char *what, *who, *why, *mode;
    int r = sd_bus_message_read(call, "ssss", &what, &who, &why, &mode);
    if (r < 0) return r;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return -errno;
    {
      std::lock_guard<std::mutex> lock(logind->mutex_);
      logind->arguments_ = {what, who, why, mode};
      logind->lockReadEnd_ = ends[0];
    }
    r = sd_bus_reply_method_return(call, "h", ends[1]);  // sends a copy
    close(ends[1]);
    return r;
  }

  void Serve() {
    static const sd_bus_vtable kDbus[] = {
        SD_BUS_VTABLE_START(0), SD_BUS_METHOD("Hello", "", "s", OnHello, 0), SD_BUS_VTABLE_END};
    static const sd_bus_vtable kManager[] = {SD_BUS_VTABLE_START(0),
                                             SD_BUS_METHOD("Inhibit", "ssss", "h", OnInhibit, 0),
                                             SD_BUS_VTABLE_END};

    pollfd wait{listener_, POLLIN, 0};
    while (!stop_ && poll(&wait, 1, 50) == 0) {
    }
    if (stop_) return;
    const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    sd_bus* bus = nullptr;
    sd_id128_t id;
    sd_id128_randomize(&id);
    sd_bus_slot* slots[2] = {};
    if (sd_bus_new(&bus) < 0 || sd_bus_set_fd(bus, connection, connection) < 0 ||
        sd_bus_set_server(bus, 1, id) < 0 || sd_bus_negotiate_fds(bus, 1) < 0 ||
        sd_bus_add_object_vtable(bus, &slots[0], "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                 kDbus, this) < 0 ||
        sd_bus_add_object_vtable(bus, &slots[1], "/org/freedesktop/login1",
                                 "org.freedesktop.login1.Manager", kManager, this) < 0 ||
        sd_bus_start(bus) < 0) {
      ADD_FAILURE() << "stand-in logind could not start";
    } else {
      while (!stop_) {
        const int r = sd_bus_process(bus, nullptr);
        if (r < 0) break;  // the client hung up
        if (r == 0) sd_bus_wait(bus, 50 * 1000);
      }
    }
    sd_bus_slot_unref(slots[0]);
    sd_bus_slot_unref(slots[1]);
    sd_bus_flush_close_unref(bus);
  }

  const bool answers_;
  TempFolder dir_{"logind"};
  std::string socketPath_;
  int listener_ = -1;
  std::mutex mutex_;
  std::vector<std::string> arguments_;
  int lockReadEnd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST(SleepInhibitorLinux, HoldsLogindSleepShutdownAndLidBlockUntilDestroyed) {
  StandInLogind logind;
  ScopedEnvironmentVariable bus("DBUS_SYSTEM_BUS_ADDRESS", logind.Address());
  {
    SleepInhibitor inhibitor("Writing firmware to the dive watch");
    ASSERT_TRUE(inhibitor.Held());
    const std::vector<std::string> expected = {"sleep:shutdown:handle-lid-switch", "orvel kestrune",
                                               "Writing firmware to the dive watch", "block"};
    EXPECT_EQ(logind.InhibitArguments(), expected);
    // The stand-in drops its own copy once the reply is out; ours stays.
    EXPECT_FALSE(logind.LockReleasedWithin(300));
  }
  EXPECT_TRUE(logind.LockReleasedWithin(5000));
}

TEST(SleepInhibitorLinux, ALogindThatDoesNotAnswerDelaysOnlyBriefly) {
  StandInLogind logind(false);
  ScopedEnvironmentVariable bus("DBUS_SYSTEM_BUS_ADDRESS", logind.Address());
  const auto start = std::chrono::steady_clock::now();
  SleepInhibitor inhibitor("Writing firmware to the dive watch");
  EXPECT_FALSE(inhibitor.Held());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(SleepInhibitorLinux, WithoutLogindItIsQuietlyInert) {
  ScopedEnvironmentVariable bus("DBUS_SYSTEM_BUS_ADDRESS",
                                "unix:path=/tmp/kestrune-no-such-bus/socket");
  SleepInhibitor inhibitor("Writing firmware to the dive watch");
  EXPECT_FALSE(inhibitor.Held());
}

}  // namespace
}  // namespace kestrune
