#include "app/cli/cli_output.h"

#include <json/json.h>

#include <cstdio>

#include "app/cli/exit_codes.h"
#include "transfer/device_frame.h"
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

// What a terminal may act on rather than show.
bool IsControl(char32_t point) {
  return point < 0x20 || (point >= 0x7F && point < 0xA0) || point == 0x2028 || point == 0x2029 ||
         (point >= 0x202A && point <= 0x202E) || (point >= 0x2066 && point <= 0x2069);
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
  // reader may still act on (DEL, C1, U+2028/U+2029, U+FFFD) is escaped
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
        point == 0xFFFD) {
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

namespace {

// One JSON object on a line of its own, its members in the order they are
// added (a Json::Value object would sort them), each written by JsonCpp.
class JsonLine {
 public:
  JsonLine& Add(const std::string& name, const Json::Value& value) {
    text_ += (text_.empty() ? "{" : ",") + JsonString(name) + ":" + JsonValue(value);
    return *this;
  }
  std::string Text() const { return text_ + "}\n"; }

 private:
  std::string text_;
};

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

std::string ProgressLine(std::uint32_t done, std::uint32_t total, std::uint32_t firstDone,
                         std::chrono::milliseconds elapsed) {
  const unsigned percent =
      total == 0 ? 100u : static_cast<unsigned>(std::uint64_t{done} * 100 / total);
  char line[128];
  int length = std::snprintf(line, sizeof line, "%u/%u blocks  %3u%%", static_cast<unsigned>(done),
                             static_cast<unsigned>(total), percent);
  const std::uint32_t timed = done - firstDone;
  if (timed > 0 && elapsed.count() > 0) {
    const double seconds = static_cast<double>(elapsed.count()) / 1000.0;
    const double rate = static_cast<double>(timed) * kBlockSize / seconds;
    const double left = total > done ? seconds / timed * (total - done) : 0.0;
    const unsigned leftSeconds = static_cast<unsigned>(left + 0.5);
    length += std::snprintf(line + length, sizeof line - static_cast<std::size_t>(length),
                            "  %.1f KiB/s  %u:%02u left", rate / 1024.0, leftSeconds / 60,
                            leftSeconds % 60);
  }
  return line;
}

// A failed write means the reader went away (a closed pipe or terminal):
// said once in the run log, and that stream is left alone from then on.
void CliOutput::WriteOut(const std::string& text) {
  if (outClosed_) return;
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    outClosed_ = true;
    WriteRunLog("output: standard output is closed; the run goes on without printing there");
  }
}

void CliOutput::WriteErr(const std::string& text) {
  if (errClosed_) return;
  std::fputs(text.c_str(), stderr);
  if (std::fflush(stderr) != 0 || std::ferror(stderr)) {
    errClosed_ = true;
    WriteRunLog("output: standard error is closed; the run goes on without printing there");
  }
}

void CliOutput::ClearProgressLine() {
  if (!progressShown_) return;
  WriteOut("\r" + std::string(72, ' ') + "\r");
  progressShown_ = false;
}

void CliOutput::Status(const std::u16string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string utf8 = WideToUtf8Text(text);
  if (style_ == OutputStyle::kJson) {
    WriteOut(JsonLine().Add("event", "status").Add("text", utf8).Text());
    return;
  }
  ClearProgressLine();
  WriteOut(TerminalSafeText(utf8, false) + "\n");
}

void CliOutput::Progress(std::uint32_t done, std::uint32_t total) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto now = std::chrono::steady_clock::now();
  if (!timing_) {  // the rate counts from the first block reported on
    timing_ = true;
    firstBlockAt_ = now;
    firstDone_ = done == 0 ? 0 : done - 1;
  }
  if (style_ == OutputStyle::kJson) {
    WriteOut(JsonLine()
                 .Add("event", "progress")
                 .Add("done", Json::UInt{done})
                 .Add("total", Json::UInt{total})
                 .Text());
    return;
  }
  if (style_ != OutputStyle::kTerminal) return;
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - firstBlockAt_);
  std::string line = ProgressLine(done, total, firstDone_, elapsed);
  if (line.size() < 72) line.append(72 - line.size(), ' ');
  WriteOut("\r" + line);
  progressShown_ = true;
}

void CliOutput::Verifying(std::uint32_t blocks) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (style_ == OutputStyle::kJson) {
    WriteOut("{\"event\":\"verifying\",\"blocks\":" + std::to_string(blocks) + "}\n");
    return;
  }
  ClearProgressLine();
  WriteOut("Verifying: reading back " + std::to_string(blocks) + " written blocks\n");
}

void CliOutput::Watch(const std::string& port, const std::string& serial,
                      const std::string& location, bool opens, bool picked) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (style_ == OutputStyle::kJson) {
    WriteOut("{\"event\":\"device\",\"port\":" + JsonString(port) +
             ",\"serial\":" + JsonString(serial) + ",\"location\":" + JsonString(location) +
             ",\"opens\":" + (opens ? "true" : "false") +
             ",\"picked\":" + (picked ? "true" : "false") + "}\n");
    return;
  }
  WriteOut(std::string(picked ? "* " : "  ") + TerminalSafeText(port, false) + "  serial " +
           (serial.empty() ? "(none)" : TerminalSafeText(serial, false)) + "  at " +
           (location.empty() ? "(unknown)" : TerminalSafeText(location, false)) + "  " +
           (opens ? "opens" : "busy") + "\n");
}

void CliOutput::PassedOver(const std::string& instanceId, const std::string& path,
                           const std::string& reason) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (style_ == OutputStyle::kJson) {
    WriteOut("{\"event\":\"passed_over\",\"instance_id\":" + JsonString(instanceId) +
             ",\"path\":" + JsonString(path) + ",\"reason\":" + JsonString(reason) + "}\n");
    return;
  }
  WriteOut("  - " + (path.empty() ? std::string() : TerminalSafeText(path, false) + " ") + "(" +
           TerminalSafeText(instanceId, false) + "): " + reason + "\n");
}

void CliOutput::Result(int exitCode, const std::string& reason, const std::u16string& lastStatus,
                       const std::vector<std::pair<std::string, std::string>>& extra) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (style_ == OutputStyle::kJson) {
    JsonLine line;
    line.Add("event", "result")
        .Add("schema", kJsonSchema)
        .Add("exit_code", exitCode)
        .Add("reason", reason)
        .Add("status", WideToUtf8Text(lastStatus));
    for (const auto& [name, value] : extra) line.Add(name, value);
    WriteOut(line.Text());
    return;
  }
  ClearProgressLine();
  for (const auto& [name, value] : extra) {
    std::string label = name;  // firmware_version: "Firmware version"
    for (char& c : label) c = c == '_' ? ' ' : c;
    if (!label.empty() && label[0] >= 'a' && label[0] <= 'z')
      label[0] = static_cast<char>(label[0] - 'a' + 'A');
    // Only the release note is shown over several lines.
    WriteOut(label + ": " + TerminalSafeText(value, name == "release_note") + "\n");
  }
}

void CliOutput::Lines(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearProgressLine();
  WriteOut(text);
}

void CliOutput::Message(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearProgressLine();
  WriteErr(text + "\n");
}

}  // namespace kestrune
