// Windows: no handle; a transfer sees the signal when it begins, so a run
// ends at its next frame or answer.
#include "device/line_abandon.h"

namespace kestrune {

struct LineAbandon::Wake {};

LineAbandon::LineAbandon() : wake_(new Wake) {}

LineAbandon::~LineAbandon() = default;

void LineAbandon::Signal() noexcept { signalled_ = true; }

int LineAbandon::WaitHandle() const noexcept { return -1; }

}  // namespace kestrune
