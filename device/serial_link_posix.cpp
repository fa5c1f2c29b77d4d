// POSIX: Asio opens the device non-shared only by convention, so exclusive
// use is taken here with TIOCEXCL (refuses later opens by ordinary users) and
// a non-blocking flock (also refuses other links opened by root).
#include "device/serial_link_platform.h"
#include "device/serial_link.h"

#include <boost/asio/error.hpp>

#include <cerrno>
#include <thread>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace kestrune {

namespace {

boost::system::error_code LastError() {
  return boost::system::error_code(errno, boost::system::system_category());
}

}  // namespace

void ClaimOpenedPort(boost::asio::serial_port& port, boost::system::error_code& ec) {
  const int fd = port.native_handle();
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ec = LastError();
    return;
  }
  if (::ioctl(fd, TIOCEXCL) != 0) {
    ec = LastError();
    return;
  }
  // Asio's open makes the line raw; these input flags it leaves alone, and
  // each of them would alter or swallow bytes of a binary frame.
  termios ios;
  if (::tcgetattr(fd, &ios) != 0) {
    ec = LastError();
    return;
  }
  ios.c_iflag &= ~(IXANY | IXOFF | INPCK | IMAXBEL);
#ifdef IUCLC
  ios.c_iflag &= ~IUCLC;
#endif
  ios.c_oflag &= ~OPOST;
  if (::tcsetattr(fd, TCSANOW, &ios) != 0) ec = LastError();
}

void RaiseModemLines(boost::asio::serial_port& port, boost::system::error_code& ec) {
  int lines = TIOCM_DTR | TIOCM_RTS;
  if (::ioctl(port.native_handle(), TIOCMBIS, &lines) != 0) {
    // A pseudo-terminal has no modem lines; that is no reason to refuse it.
    if (errno != ENOTTY && errno != EINVAL) ec = LastError();
  }
}

void ReleasePortClaim(boost::asio::serial_port& port) {
  // TIOCEXCL outlives our descriptor while anyone else holds the device.
  ::ioctl(port.native_handle(), TIOCNXCL);
}

void DrainOutput(boost::asio::serial_port& port, std::chrono::milliseconds bound,
                 boost::system::error_code& ec) {
  // tcdrain alone waits without limit on a line that stopped taking bytes:
  // it is called once the queue is empty, to wait out the last character.
  const int fd = port.native_handle();
  const auto deadline = std::chrono::steady_clock::now() + bound;
  for (;;) {
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued == 0) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      ec = boost::asio::error::timed_out;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  while (::tcdrain(fd) != 0) {
    if (errno != EINTR) {
      ec = LastError();
      return;
    }
  }
  ec.clear();
}

void DiscardOutput(boost::asio::serial_port& port) { ::tcflush(port.native_handle(), TCOFLUSH); }

void DiscardInput(boost::asio::serial_port& port, boost::system::error_code& ec) {
  if (::tcflush(port.native_handle(), TCIFLUSH) != 0) {
    ec = LastError();
    return;
  }
  ec.clear();
}

// A hung-up tty answers every call with EIO; a USB serial device that went
// away gives ENODEV or ENXIO; a read sees end of file.
bool DeviceLeftTheLine(const boost::system::error_code& error) {
  if (error == boost::asio::error::eof) return true;
  if (error.category() != boost::system::system_category()) return false;
  return error.value() == EIO || error.value() == ENODEV || error.value() == ENXIO;
}

}  // namespace kestrune
