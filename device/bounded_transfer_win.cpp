// Windows: the port's handle is overlapped, so each transfer is an
// asynchronous Asio operation run on the calling thread for at most the
// bound; cancelling it (CancelIoEx) frees a read that waits on a silent
// device, which no synchronous read time-out under these settings does.
#include "device/bounded_transfer.h"

#include <boost/asio/error.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <boost/system/system_error.hpp>

namespace kestrune {

namespace {

// Starts one asynchronous transfer through `start` and runs the port's
// context until it completes or `bound` passes. On expiry the transfer is
// cancelled and the context run once more to collect its handler, so no
// handler outlives this call.
template <typename Start>
std::size_t RunBounded(boost::asio::serial_port& port, std::chrono::milliseconds bound,
                       const char* word, Start start) {
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
  context.run_for(bound);
  if (!done) {
    boost::system::error_code ignored;
    port.cancel(ignored);
    context.restart();
    context.run();
    // A transfer that finished just as the bound expired still counts.
    if (result == boost::asio::error::operation_aborted || !done) {
      throw boost::system::system_error(boost::asio::error::timed_out, word);
    }
  }
  if (result) throw boost::system::system_error(result, word);
  return transferred;
}

}  // namespace

std::size_t ReadWithin(boost::asio::serial_port& port, boost::asio::mutable_buffer buffer,
                       std::chrono::milliseconds bound) {
  return RunBounded(port, bound, "read",
                    [&](auto handler) { boost::asio::async_read(port, buffer, handler); });
}

std::size_t WriteWithin(boost::asio::serial_port& port, boost::asio::const_buffer buffer,
                        std::chrono::milliseconds bound) {
  return RunBounded(port, bound, "write",
                    [&](auto handler) { boost::asio::async_write(port, buffer, handler); });
}

}  // namespace kestrune
