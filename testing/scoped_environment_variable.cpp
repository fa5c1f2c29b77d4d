#include "testing/scoped_environment_variable.h"

#include <stdlib.h>

#include <utility>

namespace kestrune {
namespace testing_support {
namespace {

void SetOrRemove(const std::string& name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name.c_str());
  }
}

}  // namespace

ScopedEnvironmentVariable::ScopedEnvironmentVariable(std::string name,
                                                     const std::optional<std::string>& value)
    : name_(std::move(name)) {
  if (const char* before = ::getenv(name_.c_str())) before_ = before;
  SetOrRemove(name_, value);
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() { SetOrRemove(name_, before_); }

}  // namespace testing_support
}  // namespace kestrune
