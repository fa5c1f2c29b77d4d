// Windows: no handle; the flag is all. A transfer looks at it when it
// begins and, while it waits on the line, every few tens of milliseconds
// (device/bounded_transfer_win.cpp).
#include "device/line_abandon.h"

namespace kestrune {

struct LineAbandon::Wake {};

LineAbandon::LineAbandon() : wake_(new Wake) {}

LineAbandon::~LineAbandon() = default;

void LineAbandon::Signal() noexcept { signalled_ = true; }

int LineAbandon::WaitHandle() const noexcept { return -1; }

}  // namespace kestrune
