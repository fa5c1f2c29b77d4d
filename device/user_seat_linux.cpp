#include "device/user_seat.h"

#include <systemd/sd-login.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace kestrune {

SeatState UserSeatState() {
  // logind keeps its seats here; without it nobody lends a port to a seat,
  // and sd-login's answers would be guesses.
  if (::access("/run/systemd/seats/", F_OK) != 0) return SeatState::kUnknown;
  char* state = nullptr;
  if (sd_uid_get_state(::getuid(), &state) < 0 || state == nullptr) return SeatState::kUnknown;
  // "active": a session of the user's is in the foreground of its seat;
  // "online" (SSH, a background session), "lingering", "offline" are not.
  const bool active = std::strcmp(state, "active") == 0;
  std::free(state);
  return active ? SeatState::kAtSeat : SeatState::kNotAtSeat;
}

}  // namespace kestrune
