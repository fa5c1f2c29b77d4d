#pragma once
// What the fetch phase of a several-watch run or a bundle download prints:
// its statuses, as a single run prints them; there is no watch yet, so no
// progress.

#include <cstdint>
#include <string>

#include "app/cli/cli_output.h"
#include "transfer/firmware_update.h"

namespace kestrune {

class FetchPrinter : public FirmwareUpdateReporter {
 public:
  explicit FetchPrinter(CliOutput& output) : output_(output) {}
  void PostStatus(const std::u16string& text) override { output_.Status(text); }
  void SetProgressRange(std::uint32_t) override {}
  void SetProgressPosition(std::uint32_t) override {}
  void SetWriting(bool) override {}

 private:
  CliOutput& output_;
};

}  // namespace kestrune
