#include "transfer/watch_history.h"

#include <utility>

#include "history/history_database.h"
#include "history/history_writer.h"
#include "history/host_name.h"
#include "update/run_log.h"
#include "update/text_conversion.h"
#include "update/utc_time.h"

namespace kestrune {
namespace {

// The look-up happens before a watch is written, so it waits only briefly
// for another program's lock: in write-ahead-log mode only a damaged or
// busy file makes a reader wait at all.
constexpr std::chrono::milliseconds kLookUpBusyTimeout{250};

constexpr char kRewrittenNote[] = ": written once more, now reads back as the image";

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::vector<ImageDigest> ImageDigests(const FetchedFirmware& firmware) {
  std::vector<ImageDigest> digests;
  for (const FetchedImage& image : firmware.images) {
    digests.push_back({image.bytes.size, image.sha256});
  }
  return digests;
}

RunRecord::RunRecord(FirmwareUpdateReporter& inner, std::string programName, std::string logTag)
    : inner_(inner),
      programName_(std::move(programName)),
      logTag_(std::move(logTag)),
      started_(std::chrono::system_clock::now()) {}

void RunRecord::SetProgressPosition(std::uint32_t position) {
  blocksWritten_ = position;
  inner_.SetProgressPosition(position);
}

void RunRecord::Note(const std::string& detail) {
  if (EndsWith(detail, kRewrittenNote)) ++rewritten_;
  inner_.Note(detail);
}

void RunRecord::VerifyingBlocks(std::uint32_t blocks) {
  verifyAsked_ = true;
  inner_.VerifyingBlocks(blocks);
}

void RunRecord::SetWatch(const std::string& serial, const std::string& port,
                         const std::string& location) {
  serial_ = serial;
  port_ = port;
  location_ = location;
}

void RunRecord::SetFirmware(const std::u16string& version, std::vector<ImageDigest> digests) {
  firmwareVersion_ = WideToUtf8Text(version);
  images_ = std::move(digests);
}

HistoryRow RunRecord::Row(RunOutcome outcome) const {
  HistoryRow row;
  row.startUtc = IsoUtcTime(started_);
  row.endUtc = IsoUtcTime(std::chrono::system_clock::now());
  row.program = programName_;
  row.programVersion = kProgramVersion;
  row.host = ThisHostName();
  row.serial = serial_;
  row.port = port_;
  row.location = location_;
  row.firmwareVersion = firmwareVersion_;
  row.images = images_;
  row.reason = RunOutcomeReason(outcome);
  row.blocksWritten = blocksWritten_;
  if (!verifyAsked_) {
    row.readBack = "not asked";
  } else if (outcome != RunOutcome::kDone) {
    row.readBack = "failed";
  } else if (rewritten_ == 0) {
    row.readBack = "all blocks match";
  } else {
    row.readBack = std::to_string(rewritten_) + " block(s) written again";
  }
  row.logTag = logTag_;
  return row;
}

void PostRunRecord(HistoryWriter* writer, const RunRecord& record, RunOutcome outcome) {
  if (writer == nullptr || !record.MetAWatch()) return;
  try {
    writer->Post(record.Row(outcome));
  } catch (const std::exception& failure) {
    WriteRunLog(std::string("history: the run's row was not made: ") + failure.what());
  }
}

SkipDecision LookUpAlreadyCurrent(const std::u16string& historyPath, const std::string& serial,
                                  const std::u16string& version,
                                  const std::vector<ImageDigest>& digests, bool again,
                                  FirmwareUpdateReporter& reporter) {
  std::optional<HistoryRow> lastRun;
  if (!serial.empty() && !again) {
    HistoryDatabase history(historyPath, kLookUpBusyTimeout,
                            [&reporter](const std::string& note) { reporter.Note(note); });
    std::string error;
    lastRun = history.LastRunOf(serial, error);
    if (!lastRun && !error.empty()) {
      reporter.Note("history: cannot look the watch up (" + error + "); it is written");
    }
  }
  return DecideSkip(serial, lastRun, WideToUtf8Text(version), digests, again);
}

}  // namespace kestrune
