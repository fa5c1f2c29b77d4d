#pragma once
// A FirmwareUpdateReporter that records every call in order; safe to read
// while the run reports from its own thread.

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "transfer/firmware_update.h"

namespace kestrune {
namespace testing_support {

class RecordingFirmwareUpdateReporter : public FirmwareUpdateReporter {
 public:
  enum class Kind { Status, Range, Position, Writing, Verifying };
  struct Event {
    Kind kind;
    std::u16string text;      // Status
    std::uint32_t value = 0;  // Range, Position, Verifying; 1 or 0 for Writing
  };

  void PostStatus(const std::u16string& text) override { Add({Kind::Status, text, 0}); }
  void SetProgressRange(std::uint32_t maximum) override { Add({Kind::Range, {}, maximum}); }
  void SetProgressPosition(std::uint32_t position) override { Add({Kind::Position, {}, position}); }
  void SetWriting(bool writing) override { Add({Kind::Writing, {}, writing ? 1u : 0u}); }
  void VerifyingBlocks(std::uint32_t blocks) override { Add({Kind::Verifying, {}, blocks}); }

  std::vector<Event> Events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  std::vector<std::u16string> Statuses() const {
    std::vector<std::u16string> out;
    for (const Event& e : Events())
      if (e.kind == Kind::Status) out.push_back(e.text);
    return out;
  }
  // Values of every call of one numeric kind, in order.
  std::vector<std::uint32_t> Values(Kind kind) const {
    std::vector<std::uint32_t> out;
    for (const Event& e : Events())
      if (e.kind == kind) out.push_back(e.value);
    return out;
  }

 private:
  void Add(Event event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(event));
  }
  mutable std::mutex mutex_;
  std::vector<Event> events_;
};

}  // namespace testing_support
}  // namespace kestrune
