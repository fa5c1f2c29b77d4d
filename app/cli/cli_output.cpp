#include "app/cli/cli_output.h"

#include <json/json.h>

#include <cstdio>

#include "app/cli/cli_options.h"
#include "update/utc_time.h"
#include "app/cli/exit_codes.h"
#include "app/frontend/shown_status.h"
#include "i18n/translate.h"
#include "transfer/device_frame.h"
#include "transfer/firmware_update.h"
#include "update/run_log.h"
#include "update/text_conversion.h"

namespace kestrune {
namespace {

constexpr char32_t kNotUtf8 = 0xFFFFFFFF;
constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// The code point at `text[at]`, advancing `at` past it; kNotUtf8 (one byte
// consumed) for a byte that does not start a well-formed sequence.
char32_t NextCodePoint(const std::string& text, std::size_t& at) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  std::size_t length = lead < 0x80                   ? 1
                       : lead >= 0xC2 && lead < 0xE0 ? 2
                       : lead >= 0xE0 && lead < 0xF0 ? 3
                       : lead >= 0xF0 && lead < 0xF5 ? 4
                                                     : 0;
  if (length == 0 || at + length > text.size()) {
    ++at;
    return kNotUtf8;
  }
  char32_t point = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) {
      ++at;
      return kNotUtf8;
    }
    point = (point << 6) | (next & 0x3F);
  }
  // Overlong forms, surrogates and points past U+10FFFF are not UTF-8.
  const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (point < least[length] || (point >= 0xD800 && point < 0xE000) || point > 0x10FFFF) {
    ++at;
    return kNotUtf8;
  }
  at += length;
  return point;
}

// The bidirectional embeddings, overrides and isolates: they reorder what
// follows them on screen, so "x\u202etxt.exe" shows as "xexe.txt".
bool IsBidiControl(char32_t point) {
  return (point >= 0x202A && point <= 0x202E) || (point >= 0x2066 && point <= 0x2069);
}

// What a terminal may act on rather than show.
bool IsControl(char32_t point) {
  return point < 0x20 || (point >= 0x7F && point < 0xA0) || point == 0x2028 || point == 0x2029 ||
         IsBidiControl(point);
}

// `value` as compact JSON, written by JsonCpp.
std::string JsonValue(const Json::Value& value) {
  static const Json::StreamWriterBuilder kCompact = [] {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";  // one object per line
    builder["emitUTF8"] = true;   // Chinese statuses stay readable
    return builder;
  }();
  // JsonCpp copies UTF-8 as it is, bytes that are not UTF-8 included: the
  // text is made well-formed first, and what JsonCpp leaves raw that a
  // reader may still act on (DEL, C1, U+2028/U+2029, bidirectional controls,
  // U+FFFD) is escaped
  // after; those code points occur in the written text only inside strings.
  std::string wellFormed;
  if (value.isString()) {
    const std::string text = value.asString();
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t start = at;
      if (NextCodePoint(text, at) == kNotUtf8) {
        wellFormed += kReplacement;
      } else {
        wellFormed.append(text, start, at - start);
      }
    }
  }
  const std::string written =
      Json::writeString(kCompact, value.isString() ? Json::Value(wellFormed) : value);
  std::string out;
  out.reserve(written.size());
  for (std::size_t at = 0; at < written.size();) {
    const std::size_t start = at;
    const char32_t point = NextCodePoint(written, at);
    if (point == 0x7F || (point >= 0x80 && point < 0xA0) || point == 0x2028 || point == 0x2029 ||
        IsBidiControl(point) || point == 0xFFFD) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(point));
      out += escape;
    } else {
      out.append(written, start, at - start);
    }
  }
  return out;
}

}  // namespace

std::string JsonString(const std::string& text) { return JsonValue(Json::Value(text)); }

std::string JsonEventHead(const std::string& name, std::chrono::system_clock::time_point when) {
  return "{\"event\":" + JsonString(name) + ",\"time\":" + JsonString(IsoUtcTime(when));
}

namespace {

// One JSON object on a line of its own, its members in the order they are
// added (a Json::Value object would sort them), each written by JsonCpp.
class JsonLine {
 public:
  JsonLine& Add(const std::string& name, const Json::Value& value) {
    text_ += (text_.empty() ? "{" : ",") + JsonString(name) + ":" + JsonValue(value);
    return *this;
  }
  // A member whose value is JSON text already (an object made by JsonLine).
  JsonLine& AddRaw(const std::string& name, const std::string& json) {
    text_ += (text_.empty() ? "{" : ",") + JsonString(name) + ":" + json;
    return *this;
  }
  std::string Text() const { return text_ + "}\n"; }

 private:
  std::string text_;
};

}  // namespace

namespace {

// The label of a result's further member in the text a person reads:
// firmware_version: "Firmware version".
std::string ResultLabel(const std::string& name) {
  static const std::pair<const char*, const char*> kLabels[] = {
      {"firmware_version", N_("Firmware version")},
      {"release_note", N_("Release note")},
      {"source", N_("Source")},
      {"message", N_("Message")},
      {"bundle", N_("Bundle")},
      {"images", N_("Images")},
      {"picked", N_("Picked")},
  };
  for (const auto& [member, label] : kLabels) {
    if (name == member) return Tr(label);
  }
  std::string label = name;
  for (char& c : label) c = c == '_' ? ' ' : c;
  if (!label.empty() && label[0] >= 'a' && label[0] <= 'z')
    label[0] = static_cast<char>(label[0] - 'a' + 'A');
  return label;
}

}  // namespace

std::string TerminalSafeText(const std::string& text, bool keepNewlines) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t start = at;
    const char32_t point = NextCodePoint(text, at);
    if (point == '\n' && keepNewlines) {
      out += '\n';
    } else if (point == kNotUtf8 || IsControl(point)) {
      out += kReplacement;
    } else {
      out.append(text, start, at - start);
    }
  }
  return out;
}

std::string PortHeldMessage(const std::string& port, const std::string& holders) {
  return TerminalSafeText(std::string(kCliProgramName) + ": " +
                              Tr("{1} is open in another program: {2}", {port, holders}),
                          false);
}

std::string CauseJson(const RunCause& cause) {
  JsonLine line;
  line.Add("kind", RunCauseWord(cause.kind));
  if (!cause.port.empty()) line.Add("port", cause.port);
  if (cause.errnoValue != 0) line.Add("errno", cause.errnoValue);
  if (!cause.holder.empty()) line.Add("holder", cause.holder);
  if (!cause.path.empty()) line.Add("path", cause.path);
  if (!cause.date.empty()) line.Add("date", cause.date);
  if (cause.seat != SeatState::kUnknown) line.Add("at_seat", cause.seat == SeatState::kAtSeat);
  line.Add("hint", RunCauseLine(cause));
  std::string text = line.Text();
  text.pop_back();  // the line end of a line of its own
  return text;
}

std::string PortStateText(const RunCause& portCause) {
  switch (portCause.kind) {
    case RunCauseKind::kNone: return Tr("opens");
    case RunCauseKind::kPortBusy:
      return portCause.holder.empty() ? Tr("busy") : Tr("busy: {1}", {portCause.holder});
    case RunCauseKind::kPermissionDenied: return Tr("not permitted");
    case RunCauseKind::kNotASerialPort: return Tr("not a serial port");
    case RunCauseKind::kPortIsDirectory: return Tr("a directory");
    case RunCauseKind::kNoSuchPort: return Tr("missing");
    default: return Tr("does not open");
  }
}

std::string ProgressLine(std::uint32_t done, std::uint32_t total,
                         const std::optional<RateEstimate>& estimate) {
  const unsigned percent =
      total == 0 ? 100u : static_cast<unsigned>(std::uint64_t{done} * 100 / total);
  char line[128];
  std::snprintf(line, sizeof line, "%3u%%", percent);
  std::string text =
      Tr("{1}/{2} blocks", {std::to_string(done), std::to_string(total)}) + "  " + line;
  if (estimate) {
    const unsigned left = estimate->secondsLeft;
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f", estimate->bytesPerSecond / 1024.0);
    char time[32];
    std::snprintf(time, sizeof time, "%u:%02u", left / 60, left % 60);
    text += "  " + Tr("{1} KiB/s", {rate}) + "  " + Tr("{1} left", {time});
  }
  return text;
}

// The printing itself, on the output thread only: the progress line's
// state and whether each stream still has a reader.
class CliOutput::Printer {
 public:
  using Clock = std::chrono::system_clock;

  // The rate is measured on the times the run reported at, not on when the
  // output came round to printing them.
  Printer(OutputStyle style, bool quiet)
      : style_(style), quiet_(quiet), rate_([this] { return reportedAt_; }) {}

  // Each call carries when its report was made: `reportedAt` for the rate,
  // `at` for the JSON event's time.
  void Status(const std::u16string& text, std::chrono::steady_clock::time_point reportedAt,
              Clock::time_point at);
  void Progress(std::uint32_t done, std::uint32_t total,
                std::chrono::steady_clock::time_point reportedAt, Clock::time_point at);
  void Verifying(std::uint32_t blocks, Clock::time_point at);
  void Watch(const std::string& port, const std::string& serial, const std::string& location,
             const RunCause& portCause, bool picked, Clock::time_point at);
  void PassedOver(const std::string& instanceId, const std::string& path, const std::string& reason,
                  Clock::time_point at);
  void Result(int exitCode, const std::string& reason, const std::u16string& lastStatus,
              const std::vector<std::pair<std::string, std::string>>& extra, const RunCause& cause,
              Clock::time_point at);
  void Message(const std::string& text);
  void Lines(const std::string& text);

 private:
  void ClearProgressLine();
  void WriteOut(const std::string& text);
  void WriteErr(const std::string& text);

  OutputStyle style_;
  bool quiet_;
  bool progressShown_ = false;
  bool outClosed_ = false;
  bool errClosed_ = false;
  std::chrono::steady_clock::time_point reportedAt_;
  ProgressRate rate_;
};

// A failed write means the reader went away (a closed pipe or terminal):
// said once in the run log, and that stream is left alone from then on.
void CliOutput::Printer::WriteOut(const std::string& text) {
  if (outClosed_) return;
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    outClosed_ = true;
    WriteRunLog("output: standard output is closed; the run goes on without printing there");
  }
}

void CliOutput::Printer::WriteErr(const std::string& text) {
  if (errClosed_) return;
  std::fputs(text.c_str(), stderr);
  if (std::fflush(stderr) != 0 || std::ferror(stderr)) {
    errClosed_ = true;
    WriteRunLog("output: standard error is closed; the run goes on without printing there");
  }
}

void CliOutput::Printer::ClearProgressLine() {
  if (!progressShown_) return;
  WriteOut("\r" + std::string(72, ' ') + "\r");
  progressShown_ = false;
}

void CliOutput::Printer::Status(const std::u16string& text,
                                std::chrono::steady_clock::time_point reportedAt,
                                Clock::time_point at) {
  reportedAt_ = reportedAt;
  if (text == kWritingImage) rate_.WritingBegins();  // the first block starts now
  const std::string utf8 = ShownStatus(text);
  if (style_ == OutputStyle::kJson) {
    WriteOut(
        JsonLine().Add("event", "status").Add("time", IsoUtcTime(at)).Add("text", utf8).Text());
    return;
  }
  ClearProgressLine();
  WriteOut(TerminalSafeText(utf8, false) + "\n");
}

void CliOutput::Printer::Progress(std::uint32_t done, std::uint32_t total,
                                  std::chrono::steady_clock::time_point reportedAt,
                                  Clock::time_point at) {
  reportedAt_ = reportedAt;
  if (style_ == OutputStyle::kJson) {
    WriteOut(JsonLine()
                 .Add("event", "progress")
                 .Add("time", IsoUtcTime(at))
                 .Add("done", Json::UInt{done})
                 .Add("total", Json::UInt{total})
                 .Text());
    return;
  }
  if (style_ != OutputStyle::kTerminal) return;
  std::string line = ProgressLine(done, total, rate_.At(done, total));
  if (line.size() < 72) line.append(72 - line.size(), ' ');
  WriteOut("\r" + line);
  progressShown_ = true;
}

void CliOutput::Printer::Verifying(std::uint32_t blocks, Clock::time_point at) {
  if (style_ == OutputStyle::kJson) {
    WriteOut(JsonEventHead("verifying", at) + ",\"blocks\":" + std::to_string(blocks) + "}\n");
    return;
  }
  ClearProgressLine();
  WriteOut(Tr("Verifying: reading back {1} written blocks", {std::to_string(blocks)}) + "\n");
}

void CliOutput::Printer::Watch(const std::string& port, const std::string& serial,
                               const std::string& location, const RunCause& portCause,
                               bool picked, Clock::time_point at) {
  const bool opens = !portCause.Known();
  if (style_ == OutputStyle::kJson) {
    JsonLine line;
    line.Add("event", "device")
        .Add("time", IsoUtcTime(at))
        .Add("port", port)
        .Add("serial", serial)
        .Add("location", location)
        .Add("opens", opens)
        .Add("picked", picked);
    if (!opens) line.AddRaw("cause", CauseJson(portCause));
    WriteOut(line.Text());
    return;
  }
  WriteOut(std::string(picked ? "* " : "  ") + TerminalSafeText(port, false) + "  serial " +
           (serial.empty() ? "(none)" : TerminalSafeText(serial, false)) + "  at " +
           (location.empty() ? "(unknown)" : TerminalSafeText(location, false)) + "  " +
           TerminalSafeText(PortStateText(portCause), false) + "\n");
}

void CliOutput::Printer::PassedOver(const std::string& instanceId, const std::string& path,
                                    const std::string& reason, Clock::time_point at) {
  if (style_ == OutputStyle::kJson) {
    WriteOut(JsonEventHead("passed_over", at) + ",\"instance_id\":" + JsonString(instanceId) +
             ",\"path\":" + JsonString(path) + ",\"reason\":" + JsonString(reason) + "}\n");
    return;
  }
  WriteOut("  - " + (path.empty() ? std::string() : TerminalSafeText(path, false) + " ") + "(" +
           TerminalSafeText(instanceId, false) + "): " + reason + "\n");
}

void CliOutput::Printer::Result(int exitCode, const std::string& reason,
                                const std::u16string& lastStatus,
                                const std::vector<std::pair<std::string, std::string>>& extra,
                                const RunCause& cause, Clock::time_point at) {
  if (style_ == OutputStyle::kJson) {
    JsonLine line;
    line.Add("event", "result")
        .Add("time", IsoUtcTime(at))
        .Add("schema", kJsonSchema)
        .Add("exit_code", exitCode)
        .Add("reason", reason)
        .Add("status", ShownStatus(lastStatus));
    for (const auto& [name, value] : extra) line.Add(name, value);
    if (cause.Known()) line.AddRaw("cause", CauseJson(cause));
    WriteOut(line.Text());
    return;
  }
  ClearProgressLine();
  // Quiet, the statuses were not shown: the last one is the result.
  if (quiet_ && !lastStatus.empty()) {
    WriteOut(TerminalSafeText(ShownStatus(lastStatus), false) + "\n");
  }
  // Beneath the status: the cause and what to do.
  if (cause.Known()) {
    WriteErr(std::string(kCliProgramName) + ": " + TerminalSafeText(RunCauseLine(cause), false) +
             "\n");
  }
  for (const auto& [name, value] : extra) {
    // A source or a message given in English (a fixed text) is looked up;
    // what came from the service or the watch never is.
    const bool ours = name == "source" || name == "message";
    // Only the release note is shown over several lines.
    WriteOut(ResultLabel(name) + ": " +
             TerminalSafeText(ours ? Tr(value.c_str()) : value, name == "release_note") + "\n");
  }
}

void CliOutput::Printer::Lines(const std::string& text) {
  ClearProgressLine();
  WriteOut(text);
}

void CliOutput::Printer::Message(const std::string& text) {
  ClearProgressLine();
  WriteErr(text + "\n");
}

std::string CliOutput::Say(const char* english, std::initializer_list<std::string> values) const {
  return style_ == OutputStyle::kJson ? Fill(english, values) : Tr(english, values);
}

CliOutput::CliOutput(OutputStyle style, ReportDrain& drain, bool quiet)
    : style_(style),
      quiet_(quiet),
      drain_(drain),
      printer_(std::make_shared<Printer>(style, quiet)) {}

// Each report takes its time when it is made: the output thread may come
// round to it much later.
void CliOutput::Status(const std::u16string& text) {
  if (quiet_) return;
  const auto reportedAt = std::chrono::steady_clock::now();
  const auto at = std::chrono::system_clock::now();
  drain_.Push(
      [printer = printer_, text, reportedAt, at] { printer->Status(text, reportedAt, at); });
}

void CliOutput::Progress(std::uint32_t done, std::uint32_t total) {
  if (quiet_) return;
  const auto reportedAt = std::chrono::steady_clock::now();
  const auto at = std::chrono::system_clock::now();
  drain_.PushLatest({printer_.get(), 0}, [printer = printer_, done, total, reportedAt, at] {
    printer->Progress(done, total, reportedAt, at);
  });
}

void CliOutput::Verifying(std::uint32_t blocks) {
  if (quiet_) return;
  const auto at = std::chrono::system_clock::now();
  drain_.Push([printer = printer_, blocks, at] { printer->Verifying(blocks, at); });
}

void CliOutput::Watch(const std::string& port, const std::string& serial,
                      const std::string& location, const RunCause& portCause, bool picked) {
  const auto at = std::chrono::system_clock::now();
  drain_.Push([printer = printer_, port, serial, location, portCause, picked, at] {
    printer->Watch(port, serial, location, portCause, picked, at);
  });
}

void CliOutput::PassedOver(const std::string& instanceId, const std::string& path,
                           const std::string& reason) {
  const auto at = std::chrono::system_clock::now();
  drain_.Push([printer = printer_, instanceId, path, reason, at] {
    printer->PassedOver(instanceId, path, reason, at);
  });
}

void CliOutput::Result(int exitCode, const std::string& reason, const std::u16string& lastStatus,
                       const std::vector<std::pair<std::string, std::string>>& extra,
                       const RunCause& cause) {
  const auto at = std::chrono::system_clock::now();
  drain_.Push([printer = printer_, exitCode, reason, lastStatus, extra, cause, at] {
    printer->Result(exitCode, reason, lastStatus, extra, cause, at);
  });
}

void CliOutput::Message(const std::string& text) {
  drain_.Push([printer = printer_, text] { printer->Message(text); });
}

void CliOutput::Lines(const std::string& text) {
  drain_.Push([printer = printer_, text] { printer->Lines(text); });
}

}  // namespace kestrune
