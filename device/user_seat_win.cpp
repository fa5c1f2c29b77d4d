#include "device/user_seat.h"

namespace kestrune {

// A COM port has no seat of its own on Windows: access is one open handle.
SeatState UserSeatState() { return SeatState::kUnknown; }

}  // namespace kestrune
