#include "transfer/logged_firmware_update_reporter.h"

#include "update/text_conversion.h"

namespace kestrune {

LoggedFirmwareUpdateReporter::LoggedFirmwareUpdateReporter(FirmwareUpdateReporter& inner,
                                                           RunLog& log,
                                                           const std::string& programName,
                                                           const std::string& watchTag)
    : inner_(inner),
      log_(log),
      prefix_(watchTag.empty() ? "update: " : "update: " + watchTag + " ") {
  Write("start, " + ProgramIdentity(programName));
}

void LoggedFirmwareUpdateReporter::Write(const std::string& text) { log_.Write(prefix_ + text); }

void LoggedFirmwareUpdateReporter::PostStatus(const std::u16string& text) {
  Write("status " + WideToUtf8Text(text));
  inner_.PostStatus(text);
}

void LoggedFirmwareUpdateReporter::SetProgressRange(std::uint32_t maximum) {
  inner_.SetProgressRange(maximum);
}

void LoggedFirmwareUpdateReporter::SetProgressPosition(std::uint32_t position) {
  inner_.SetProgressPosition(position);
}

void LoggedFirmwareUpdateReporter::SetWriting(bool writing) {
  Write(writing ? "writing the watch begins" : "writing the watch is over");
  inner_.SetWriting(writing);
}

// The run notes the read-back itself; this passes it on.
void LoggedFirmwareUpdateReporter::VerifyingBlocks(std::uint32_t blocks) {
  inner_.VerifyingBlocks(blocks);
}

void LoggedFirmwareUpdateReporter::WatchAlreadyCurrent(const std::string& text) {
  Write("the watch " + text + "; it is not written");
  inner_.WatchAlreadyCurrent(text);
}

// The run notes the holders itself; this passes them on.
void LoggedFirmwareUpdateReporter::PortHeldBy(const std::string& port, const std::string& holders) {
  inner_.PortHeldBy(port, holders);
}

void LoggedFirmwareUpdateReporter::SetCause(const RunCause& cause) {
  Write("cause: " + DescribeRunCause(cause));
  inner_.SetCause(cause);
}

void LoggedFirmwareUpdateReporter::Note(const std::string& detail) { Write(detail); }

}  // namespace kestrune
