#include "update/logged_update_check_reporter.h"

#include "update/text_conversion.h"

namespace kestrune {

LoggedUpdateCheckReporter::LoggedUpdateCheckReporter(UpdateCheckReporter& inner, RunLog& log,
                                                     const std::string& programName)
    : inner_(inner), log_(log) {
  log_.Write("check: start, " + ProgramIdentity(programName));
}

void LoggedUpdateCheckReporter::PostStatus(const std::u16string& text) {
  log_.Write("check: status " + WideToUtf8Text(text));
  inner_.PostStatus(text);
}

void LoggedUpdateCheckReporter::StoreManifestText(const std::string& text) {
  inner_.StoreManifestText(text);
}

void LoggedUpdateCheckReporter::ShowFirmwareVersion(const std::u16string& version) {
  inner_.ShowFirmwareVersion(version);
}

void LoggedUpdateCheckReporter::ShowReleaseNotes(const std::u16string& notes) {
  inner_.ShowReleaseNotes(notes);
}

void LoggedUpdateCheckReporter::Note(const std::string& detail) { log_.Write("check: " + detail); }

}  // namespace kestrune
