#pragma once
// This computer's name, as the history records where a watch was updated.

#include <string>

namespace kestrune {

// UTF-8; empty when the system does not say.
std::string ThisHostName();

}  // namespace kestrune
