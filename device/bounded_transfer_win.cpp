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

#include <memory>
#include <utility>

namespace kestrune {

namespace {

using Clock = std::chrono::steady_clock;

// How long a cancelled operation may take to report back before the port
// is closed under it.
constexpr std::chrono::milliseconds kCancelGrace{1000};

[[noreturn]] void RaiseTimedOut(const char* word) {
  throw boost::system::system_error(boost::asio::error::timed_out, word);
}

// What a piece's handler reports. Shared with the handler, so that one
// which never reports back (see RunPiece) holds only its own copy.
struct PieceResult {
  boost::system::error_code error;
  std::size_t transferred = 0;
  bool done = false;
};

// Starts one asynchronous piece through `start` and runs the port's context
// until it completes or `deadline` passes. On expiry the piece is cancelled
// and its handler collected; one that does not report back within the grace
// is ended by closing the port. Returns the bytes the piece moved.
template <typename Start>
std::size_t RunPiece(boost::asio::serial_port& port, Clock::time_point deadline, const char* word,
                     Start start) {
  auto& context = static_cast<boost::asio::io_context&>(
      boost::asio::query(port.get_executor(), boost::asio::execution::context));
  const auto piece = std::make_shared<PieceResult>();
  context.restart();
  start([piece](const boost::system::error_code& ec, std::size_t n) {
    piece->error = ec;
    piece->transferred = n;
    piece->done = true;
  });
  const auto left = deadline - Clock::now();
  if (left > Clock::duration::zero()) context.run_for(left);
  if (!piece->done) {
    boost::system::error_code ignored;
    port.cancel(ignored);
    context.restart();
    context.run_for(kCancelGrace);
    if (!piece->done) {
      port.close(ignored);
      context.restart();
      context.run_for(kCancelGrace);
    }
    if (!piece->done) RaiseTimedOut(word);
  }
  if (piece->error && piece->error != boost::asio::error::operation_aborted) {
    throw boost::system::system_error(piece->error, word);
  }
  return piece->transferred;
}

// Moves the whole of `buffer` in pieces that `startPiece(rest, handler)`
// starts, within `bound`. A piece cut short by the deadline (run_for then
// returned at it) leaves the clock past the deadline, which ends the loop.
template <typename Buffer, typename StartPiece>
std::size_t TransferWithin(boost::asio::serial_port& port, Buffer buffer,
                           std::chrono::milliseconds bound, const char* word,
                           StartPiece startPiece) {
  const Clock::time_point deadline = Clock::now() + bound;
  std::size_t done = 0;
  while (done < buffer.size()) {
    done += RunPiece(port, deadline, word,
                     [&](auto handler) { startPiece(buffer + done, std::move(handler)); });
    if (done < buffer.size() && Clock::now() >= deadline) RaiseTimedOut(word);
  }
  return done;
}

}  // namespace

std::size_t ReadWithin(boost::asio::serial_port& port, boost::asio::mutable_buffer buffer,
                       std::chrono::milliseconds bound) {
  return TransferWithin(port, buffer, bound, "read", [&port](auto rest, auto handler) {
    port.async_read_some(rest, std::move(handler));
  });
}

std::size_t WriteWithin(boost::asio::serial_port& port, boost::asio::const_buffer buffer,
                        std::chrono::milliseconds bound) {
  return TransferWithin(port, buffer, bound, "write", [&port](auto rest, auto handler) {
    port.async_write_some(rest, std::move(handler));
  });
}

}  // namespace kestrune
