#pragma once
// One environment variable set (or removed) for the life of the object and
// put back as it was afterwards.

#include <optional>
#include <string>

namespace kestrune {
namespace testing_support {

class ScopedEnvironmentVariable {
 public:
  // `value` absent: the variable is removed.
  ScopedEnvironmentVariable(std::string name, const std::optional<std::string>& value);
  ~ScopedEnvironmentVariable();
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

 private:
  std::string name_;
  std::optional<std::string> before_;
};

}  // namespace testing_support
}  // namespace kestrune
