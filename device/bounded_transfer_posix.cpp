// POSIX: Asio opens the port non-blocking, so each transfer is plain reads
// or writes of what fits or has arrived, with poll() waiting in between for
// no longer than what is left of the bound. That is as short a path as a
// blocking loop, and no I/O context is involved.
#include "device/bounded_transfer.h"
#include "device/line_abandon.h"

#include <boost/asio/error.hpp>
#include <boost/system/system_error.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <poll.h>
#include <thread>
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
    // The thread's line, when abandoned, wakes the wait too.
    const LineAbandon* abandon = ThreadLineAbandon();
    pollfd pfds[2] = {{fd, events, 0}, {abandon ? abandon->WaitHandle() : -1, POLLIN, 0}};
    const int n = ::poll(pfds, pfds[1].fd >= 0 ? 2 : 1, static_cast<int>(left.count()));
    RaiseIfLineAbandoned(word);
    if (n > 0) return;  // ready, or an error/hang-up the next call reports
    if (n < 0 && errno != EINTR) Raise(word, errno);
  }
}

// Reads what has arrived, up to `count` bytes, without waiting: 0 when
// nothing has. Raises end of file when the line hung up.
std::size_t ReadArrived(int fd, unsigned char* into, std::size_t count) {
  for (;;) {
    const ssize_t n = ::read(fd, into, count);
    if (n > 0) return static_cast<std::size_t>(n);
    if (n == 0) throw boost::system::system_error(boost::asio::error::eof, "read");
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    if (errno != EINTR) Raise("read", errno);
  }
}

// The time `count` bytes take on the port's line at the speed it is set to,
// 8N1: ten bit times each. Zero when the port tells no speed.
Clock::duration LineTime(boost::asio::serial_port& port, std::size_t count) {
  boost::asio::serial_port_base::baud_rate rate;
  boost::system::error_code ec;
  port.get_option(rate, ec);
  if (ec || rate.value() == 0) return Clock::duration::zero();
  constexpr std::uint64_t kBitsPerByte = 10;  // start bit, 8 data bits, stop bit
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::nanoseconds(count * kBitsPerByte * 1'000'000'000ull / rate.value()));
}

}  // namespace

// A read waits before it reads: an answer is seldom there the moment it is
// asked for, and poll() returns at once when it is.
//
// On a slow line an answer's bytes arrive one by one, and the kernel wakes
// a thread waiting on a tty for every byte that arrives, whatever VMIN says:
// 40 wake-ups for an answer at 9600 baud. So once two pieces of an answer
// have come, the read sleeps out the time its missing bytes need and then
// takes them all at once. That time is their count at the pace of the
// second piece (the time since the first), with a quarter more because one
// gap between two wake-ups is all it is measured on; but never more than
// the line at its set speed needs for them. So a device that delivers
// faster than its nominal speed (USB, a pty) is not held back, and one that
// paused between two pieces does not stretch the sleep. An answer that
// arrives whole never sleeps.
std::size_t ReadWithin(boost::asio::serial_port& port, boost::asio::mutable_buffer buffer,
                       std::chrono::milliseconds bound) {
  const std::size_t size = buffer.size();
  if (size == 0) return 0;
  RaiseIfLineAbandoned("read");
  std::optional<Clock::time_point> deadline;
  const int fd = port.native_handle();
  auto* bytes = static_cast<unsigned char*>(buffer.data());
  std::size_t done = 0;
  // Waits until more bytes are there; returns when the wait ended.
  const auto waitForMore = [&] {
    AwaitReady(fd, POLLIN, bound, deadline, "read");
    return Clock::now();
  };
  // Reads what has arrived; true once the buffer is full.
  const auto complete = [&] {
    done += ReadArrived(fd, bytes + done, size - done);
    return done == size;
  };

  const Clock::time_point firstPieceAt = waitForMore();
  if (complete()) return done;
  const Clock::time_point secondPieceAt = waitForMore();
  const std::size_t beforeSecondPiece = done;
  if (complete()) return done;
  if (const std::size_t piece = done - beforeSecondPiece; piece > 0) {
    const std::size_t missing = size - done;
    const Clock::duration atPace = (secondPieceAt - firstPieceAt) *
                                   static_cast<Clock::rep>(missing * 5) /
                                   static_cast<Clock::rep>(piece * 4);
    const Clock::duration left = *deadline - Clock::now();
    std::this_thread::sleep_for(std::min({atPace, LineTime(port, missing), left}));
    if (complete()) return done;
  }
  do {
    waitForMore();
  } while (!complete());
  return done;
}

std::size_t WriteWithin(boost::asio::serial_port& port, boost::asio::const_buffer buffer,
                        std::chrono::milliseconds bound) {
  RaiseIfLineAbandoned("write");
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
