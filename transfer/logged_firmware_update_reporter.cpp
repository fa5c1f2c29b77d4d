#include "transfer/logged_firmware_update_reporter.h"

#include "update/text_conversion.h"

namespace kestrune {

LoggedFirmwareUpdateReporter::LoggedFirmwareUpdateReporter(FirmwareUpdateReporter& inner,
                                                           RunLog& log,
                                                           const std::string& programName)
    : inner_(inner), log_(log) {
  log_.Write("update: start, " + ProgramIdentity(programName));
}

void LoggedFirmwareUpdateReporter::PostStatus(const std::u16string& text) {
  log_.Write("update: status " + WideToUtf8Text(text));
  inner_.PostStatus(text);
}

void LoggedFirmwareUpdateReporter::SetProgressRange(std::uint32_t maximum) {
  inner_.SetProgressRange(maximum);
}

void LoggedFirmwareUpdateReporter::SetProgressPosition(std::uint32_t position) {
  inner_.SetProgressPosition(position);
}

void LoggedFirmwareUpdateReporter::SetWriting(bool writing) {
  log_.Write(writing ? "update: writing the watch begins" : "update: writing the watch is over");
  inner_.SetWriting(writing);
}

void LoggedFirmwareUpdateReporter::Note(const std::string& detail) {
  log_.Write("update: " + detail);
}

}  // namespace kestrune
