#pragma once
// Test helpers for the serial link's raised errors.

#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

#include <string>

namespace kestrune {
namespace testing_support {

// Runs `call` and returns the system_error it raised; a call that raises
// nothing fails the test.
template <typename Call>
boost::system::system_error RaisedBy(Call call) {
  try {
    call();
  } catch (const boost::system::system_error& error) {
    return error;
  }
  ADD_FAILURE() << "no system_error raised";
  return boost::system::system_error(boost::system::error_code());
}

// The operation word an error was raised with ("open", "read", ...).
inline std::string WordOf(const boost::system::system_error& error) {
  const std::string what = error.what();
  return what.substr(0, what.find(':'));
}

}  // namespace testing_support
}  // namespace kestrune
