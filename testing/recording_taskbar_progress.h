#pragma once
// A TaskbarProgress that records every call in order, as short words:
// "range 4", "position 1", "error", "clear", "flash", "button created".

#include <cstdint>
#include <string>
#include <vector>

#include "app/frontend/taskbar_progress.h"

namespace kestrune {
namespace testing_support {

class RecordingTaskbarProgress : public TaskbarProgress {
 public:
  void SetRange(std::uint32_t maximum) override {
    calls.push_back("range " + std::to_string(maximum));
  }
  void SetPosition(std::uint32_t position) override {
    calls.push_back("position " + std::to_string(position));
  }
  void Error() override { calls.push_back("error"); }
  void Clear() override { calls.push_back("clear"); }
  void Flash() override { calls.push_back("flash"); }
  void ButtonCreated() override { calls.push_back("button created"); }

  std::vector<std::string> calls;
};

}  // namespace testing_support
}  // namespace kestrune
