// Windows: the port's handle is overlapped, so each transfer is a loop of
// single asynchronous reads or writes, each run on the calling thread until
// it completes or the transfer's deadline passes. Cancelling one (CancelIoEx)
// frees a read that waits on a silent device, which no synchronous read
// time-out under these settings does. The loop is ours rather than Asio's
// composed read: a piece that completed just before the cancel would make
// the composed read start another read that nothing cancels.
//
// A line abandoned meanwhile (the watch has left the device tree) ends the
// wait too: the context runs in slices of kAbandonLook, and between them the
// thread's signal is looked at, so a run that waits for the answer of a
// watch no longer there ends within that time rather than at its time-out.
// The signal is a flag, not a handle the context could wait on: whoever
// signals never touches this thread's port or its context.
//
// A piece that neither the cancel nor the close ends (a driver that ignores
// both) is given up: the transfer raises, and the operation may still
// complete later, after the caller's buffer is gone, or never. So the pieces
// move bytes the transfer owns together with their handlers, never the
// caller's, and a given-up piece no longer counts as the context's work:
// the context's shutdown, which waits for every operation it counts, would
// otherwise wait for it without end.
#include "device/bounded_transfer.h"
#include "device/line_abandon.h"

#include <boost/asio/error.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/system/system_error.hpp>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace kestrune {

namespace {

using Clock = std::chrono::steady_clock;

// How long a cancelled operation may take to report back before the port
// is closed under it.
constexpr std::chrono::milliseconds kCancelGrace{1000};

// How often a waiting piece looks whether its line was abandoned.
constexpr std::chrono::milliseconds kAbandonLook{50};

[[noreturn]] void RaiseTimedOut(const char* word) {
  throw boost::system::system_error(boost::asio::error::timed_out, word);
}

// The bytes of one transfer, held by every piece's handler, so that an
// operation still pending after the transfer gave up has somewhere to put
// them for as long as it exists.
using TransferBytes = std::shared_ptr<std::vector<unsigned char>>;

// What a piece's handler reports. Shared with the handler, so that one
// which never reports back (see RunPiece) holds only its own copy.
struct PieceResult {
  explicit PieceResult(TransferBytes bytes) : bytes(std::move(bytes)) {}
  TransferBytes bytes;
  boost::system::error_code error;
  std::size_t transferred = 0;
  bool done = false;
  // Given up and no longer counted as the context's work: if it completes
  // after all, its handler counts it again before the context discounts it.
  bool givenUp = false;
};

// Runs `context` until `piece` is done, `deadline` passes or the calling
// thread's line is abandoned; true for the last.
bool RunUntilDone(boost::asio::io_context& context, const PieceResult& piece,
                  Clock::time_point deadline) {
  const LineAbandon* abandon = ThreadLineAbandon();
  for (;;) {
    if (piece.done) return false;
    if (abandon != nullptr && abandon->Signalled()) return true;
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return false;
    context.run_for(abandon != nullptr ? std::min<Clock::duration>(left, kAbandonLook) : left);
  }
}

// Starts one asynchronous piece through `start` and runs the port's context
// until it completes, `deadline` passes or the line is abandoned. Then the
// piece is cancelled and its handler collected; one that does not report
// back within the grace is ended by closing the port, and one that still
// does not is given up. Returns the bytes the piece moved.
template <typename Start>
std::size_t RunPiece(boost::asio::serial_port& port, const TransferBytes& bytes,
                     Clock::time_point deadline, const char* word, Start start) {
  auto& context = static_cast<boost::asio::io_context&>(
      boost::asio::query(port.get_executor(), boost::asio::execution::context));
  const auto piece = std::make_shared<PieceResult>(bytes);
  context.restart();
  start([piece, executor = context.get_executor()](const boost::system::error_code& ec,
                                                   std::size_t n) {
    if (piece->givenUp) executor.on_work_started();
    piece->error = ec;
    piece->transferred = n;
    piece->done = true;
  });
  const bool abandoned = RunUntilDone(context, *piece, deadline);
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
    if (!piece->done) {
      piece->givenUp = true;
      context.get_executor().on_work_finished();
      if (abandoned) RaiseIfLineAbandoned(word);
      RaiseTimedOut(word);
    }
  }
  if (abandoned) RaiseIfLineAbandoned(word);
  if (piece->error && piece->error != boost::asio::error::operation_aborted) {
    throw boost::system::system_error(piece->error, word);
  }
  return piece->transferred;
}

// Moves all of `bytes` in pieces that `startPiece(rest, handler)` starts,
// within `bound`, calling `moved(offset, n)` after each. A piece cut short
// by the deadline (run_for then returned at it) leaves the clock past the
// deadline, which ends the loop.
template <typename StartPiece, typename Moved>
std::size_t TransferWithin(boost::asio::serial_port& port, const TransferBytes& bytes,
                           std::chrono::milliseconds bound, const char* word, StartPiece startPiece,
                           Moved moved) {
  const Clock::time_point deadline = Clock::now() + bound;
  const std::size_t size = bytes->size();
  std::size_t done = 0;
  while (done < size) {
    const std::size_t n = RunPiece(port, bytes, deadline, word, [&](auto handler) {
      startPiece(boost::asio::buffer(*bytes) + done, std::move(handler));
    });
    moved(done, n);
    done += n;
    if (done < size && Clock::now() >= deadline) RaiseTimedOut(word);
  }
  return done;
}

}  // namespace

std::size_t ReadWithin(boost::asio::serial_port& port, boost::asio::mutable_buffer buffer,
                       std::chrono::milliseconds bound) {
  RaiseIfLineAbandoned("read");
  const auto bytes = std::make_shared<std::vector<unsigned char>>(buffer.size());
  return TransferWithin(
      port, bytes, bound, "read",
      [&port](auto rest, auto handler) { port.async_read_some(rest, std::move(handler)); },
      [&](std::size_t offset, std::size_t n) {
        if (n > 0)
          std::memcpy(static_cast<char*>(buffer.data()) + offset, bytes->data() + offset, n);
      });
}

std::size_t WriteWithin(boost::asio::serial_port& port, boost::asio::const_buffer buffer,
                        std::chrono::milliseconds bound) {
  RaiseIfLineAbandoned("write");
  const auto* first = static_cast<const unsigned char*>(buffer.data());
  const auto bytes = std::make_shared<std::vector<unsigned char>>(first, first + buffer.size());
  return TransferWithin(
      port, bytes, bound, "write",
      [&port](auto rest, auto handler) {
        port.async_write_some(boost::asio::const_buffer(rest), std::move(handler));
      },
      [](std::size_t, std::size_t) {});
}

}  // namespace kestrune
