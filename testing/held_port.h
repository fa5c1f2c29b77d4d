#pragma once
// A serial port held the way another program's serial link holds it
// (exclusive open and an advisory lock), for as long as the object lives.

#include <string>

namespace kestrune {
namespace testing_support {

class HeldPort {
 public:
  // Throws std::system_error when the port cannot be held.
  explicit HeldPort(const std::string& node);
  ~HeldPort();
  HeldPort(const HeldPort&) = delete;
  HeldPort& operator=(const HeldPort&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace testing_support
}  // namespace kestrune
