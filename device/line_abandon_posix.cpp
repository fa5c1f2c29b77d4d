// POSIX: a pipe whose read end becomes readable when signalled, so that a
// transfer's poll() wakes for it beside the port.
#include <fcntl.h>
#include <unistd.h>

#include "device/line_abandon.h"

namespace kestrune {

struct LineAbandon::Wake {
  int read = -1;
  int write = -1;
};

LineAbandon::LineAbandon() : wake_(new Wake) {
  int ends[2];
  // Without a pipe the signal is still seen when a transfer begins.
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
    wake_->read = ends[0];
    wake_->write = ends[1];
  }
}

LineAbandon::~LineAbandon() {
  if (wake_->read >= 0) ::close(wake_->read);
  if (wake_->write >= 0) ::close(wake_->write);
}

void LineAbandon::Signal() noexcept {
  if (signalled_.exchange(true)) return;
  const char byte = 1;
  if (wake_->write >= 0) {
    [[maybe_unused]] const ssize_t ignored = ::write(wake_->write, &byte, 1);
  }
}

int LineAbandon::WaitHandle() const noexcept { return wake_->read; }

}  // namespace kestrune
