#pragma once
// Whether the user of this process sits at the computer's seat: an active
// local session, to which logind lends the watch's port through the udev
// rule. A login over SSH or a service account has no such session and needs
// the dialout group instead.

namespace kestrune {

enum class SeatState { kUnknown, kAtSeat, kNotAtSeat };

// kUnknown where it cannot be told (no logind, Windows).
SeatState UserSeatState();

}  // namespace kestrune
