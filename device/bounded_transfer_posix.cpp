// POSIX: Asio opens the port non-blocking, so each transfer is plain reads
// or writes of what fits or has arrived, with poll() waiting in between for
// no longer than what is left of the bound. That is as short a path as a
// blocking loop, and no I/O context is involved.
#include "device/bounded_transfer.h"

#include <boost/asio/error.hpp>
#include <boost/system/system_error.hpp>

#include <cerrno>
#include <optional>
#include <poll.h>
#include <unistd.h>

namespace kestrune {

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Raise(const char* word, int error) {
  throw boost::system::system_error(
      boost::system::error_code(error, boost::system::system_category()), word);
}

// Waits until `fd` is ready for `events` or the deadline passes. The
// deadline is fixed by the first wait of a transfer (microseconds after its
// start), so a transfer that never waits never reads the clock.
void AwaitReady(int fd, short events, std::chrono::milliseconds bound,
                std::optional<Clock::time_point>& deadline, const char* word) {
  if (!deadline) deadline = Clock::now() + bound;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
    if (left.count() <= 0) throw boost::system::system_error(boost::asio::error::timed_out, word);
    pollfd pfd{fd, events, 0};
    const int n = ::poll(&pfd, 1, static_cast<int>(left.count()));
    if (n > 0) return;  // ready, or an error/hang-up the next call reports
    if (n < 0 && errno != EINTR) Raise(word, errno);
  }
}

}  // namespace

std::size_t ReadWithin(boost::asio::serial_port& port, boost::asio::mutable_buffer buffer,
                       std::chrono::milliseconds bound) {
  std::optional<Clock::time_point> deadline;
  const int fd = port.native_handle();
  auto* bytes = static_cast<unsigned char*>(buffer.data());
  std::size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t n = ::read(fd, bytes + done, buffer.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n == 0) {
      throw boost::system::system_error(boost::asio::error::eof, "read");  // the line hung up
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      AwaitReady(fd, POLLIN, bound, deadline, "read");
    } else if (errno != EINTR) {
      Raise("read", errno);
    }
  }
  return done;
}

std::size_t WriteWithin(boost::asio::serial_port& port, boost::asio::const_buffer buffer,
                        std::chrono::milliseconds bound) {
  std::optional<Clock::time_point> deadline;
  const int fd = port.native_handle();
  const auto* bytes = static_cast<const unsigned char*>(buffer.data());
  std::size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t n = ::write(fd, bytes + done, buffer.size() - done);
    if (n >= 0) {
      done += static_cast<std::size_t>(n);
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      AwaitReady(fd, POLLOUT, bound, deadline, "write");
    } else if (errno != EINTR) {
      Raise("write", errno);
    }
  }
  return done;
}

}  // namespace kestrune
