// Windows: the port's handle is overlapped, so each transfer is a loop of
// single asynchronous reads or writes, each run on the calling thread until
// it completes or the transfer's deadline passes. Cancelling one (CancelIoEx)
// frees a read that waits on a silent device, which no synchronous read
// time-out under these settings does. The loop is ours rather than Asio's
// composed read: a piece that completed just before the cancel would make
// the composed read start another read that nothing cancels.
#include "device/bounded_transfer.h"

#include <boost/asio/error.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/system/system_error.hpp>

namespace kestrune {

namespace {

using Clock = std::chrono::steady_clock;

// How long a cancelled operation may take to report back before the port
// is closed under it.
constexpr std::chrono::milliseconds kCancelGrace{1000};

[[noreturn]] void RaiseTimedOut(const char* word) {
  throw boost::system::system_error(boost::asio::error::timed_out, word);
}

// Starts one asynchronous piece through `start` and runs the port's context
// until it completes or `deadline` passes. On expiry the piece is cancelled
// and its handler collected; one that does not report back within the grace
// is ended by closing the port. No handler outlives this call. Returns the
// bytes the piece moved; `expired` tells whether the deadline cut it short.
template <typename Start>
std::size_t RunPiece(boost::asio::serial_port& port, Clock::time_point deadline, const char* word,
                     bool& expired, Start start) {
  auto& context = static_cast<boost::asio::io_context&>(
      boost::asio::query(port.get_executor(), boost::asio::execution::context));
  boost::system::error_code result;
  std::size_t transferred = 0;
  bool done = false;
  context.restart();
  start([&](const boost::system::error_code& ec, std::size_t n) {
    result = ec;
    transferred = n;
    done = true;
  });
  const auto left = deadline - Clock::now();
  if (left > Clock::duration::zero()) context.run_for(left);
  expired = !done;
  if (!done) {
    boost::system::error_code ignored;
    port.cancel(ignored);
    context.restart();
    context.run_for(kCancelGrace);
    if (!done) {
      port.close(ignored);
      context.restart();
      context.run_for(kCancelGrace);
    }
    if (!done) RaiseTimedOut(word);  // the handler can no longer run: the context stays unrun
  }
  if (result && result != boost::asio::error::operation_aborted) {
    throw boost::system::system_error(result, word);
  }
  return transferred;
}

}  // namespace

std::size_t ReadWithin(boost::asio::serial_port& port, boost::asio::mutable_buffer buffer,
                       std::chrono::milliseconds bound) {
  const Clock::time_point deadline = Clock::now() + bound;
  auto* bytes = static_cast<unsigned char*>(buffer.data());
  std::size_t done = 0;
  while (done < buffer.size()) {
    bool expired = false;
    done += RunPiece(port, deadline, "read", expired, [&](auto handler) {
      port.async_read_some(boost::asio::buffer(bytes + done, buffer.size() - done), handler);
    });
    if (done < buffer.size() && (expired || Clock::now() >= deadline)) RaiseTimedOut("read");
  }
  return done;
}

std::size_t WriteWithin(boost::asio::serial_port& port, boost::asio::const_buffer buffer,
                        std::chrono::milliseconds bound) {
  const Clock::time_point deadline = Clock::now() + bound;
  const auto* bytes = static_cast<const unsigned char*>(buffer.data());
  std::size_t done = 0;
  while (done < buffer.size()) {
    bool expired = false;
    done += RunPiece(port, deadline, "write", expired, [&](auto handler) {
      port.async_write_some(boost::asio::buffer(bytes + done, buffer.size() - done), handler);
    });
    if (done < buffer.size() && (expired || Clock::now() >= deadline)) RaiseTimedOut("write");
  }
  return done;
}

}  // namespace kestrune
