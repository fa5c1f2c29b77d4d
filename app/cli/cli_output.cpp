#include "app/cli/cli_output.h"

#include <cstdio>

#include "transfer/device_frame.h"
#include "update/text_conversion.h"

namespace kestrune {

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (u < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", u);
          out += escape;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
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

void CliOutput::WriteOut(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
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
    WriteOut("{\"event\":\"status\",\"text\":" + JsonString(utf8) + "}\n");
    return;
  }
  ClearProgressLine();
  WriteOut(utf8 + "\n");
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
    WriteOut("{\"event\":\"progress\",\"done\":" + std::to_string(done) +
             ",\"total\":" + std::to_string(total) + "}\n");
    return;
  }
  if (style_ != OutputStyle::kTerminal) return;
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - firstBlockAt_);
  std::string line = ProgressLine(done, total, firstDone_, elapsed);
  if (line.size() < 72) line.append(72 - line.size(), ' ');
  WriteOut("\r" + line);
  progressShown_ = true;
}

void CliOutput::Device(const std::string& path, const std::string& instanceId,
                       const std::string& usbParent, bool picked) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (style_ == OutputStyle::kJson) {
    WriteOut("{\"event\":\"device\",\"path\":" + JsonString(path) + ",\"instance_id\":" +
             JsonString(instanceId) + ",\"usb_parent\":" + JsonString(usbParent) +
             ",\"picked\":" + (picked ? "true" : "false") + "}\n");
    return;
  }
  WriteOut(std::string(picked ? "* " : "  ") + (path.empty() ? "(no port path)" : path) + "\n" +
           "    device " + instanceId + "\n    usb    " +
           (usbParent.empty() ? "(none)" : usbParent) + "\n");
}

void CliOutput::Result(int exitCode, const std::u16string& lastStatus,
                       const std::vector<std::pair<std::string, std::string>>& extra) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (style_ == OutputStyle::kJson) {
    std::string line = "{\"event\":\"result\",\"exit_code\":" + std::to_string(exitCode) +
                       ",\"status\":" + JsonString(WideToUtf8Text(lastStatus));
    for (const auto& [name, value] : extra)
      line += "," + JsonString(name) + ":" + JsonString(value);
    WriteOut(line + "}\n");
    return;
  }
  ClearProgressLine();
  for (const auto& [name, value] : extra) {
    std::string label = name;  // firmware_version: "Firmware version"
    for (char& c : label) c = c == '_' ? ' ' : c;
    if (!label.empty() && label[0] >= 'a' && label[0] <= 'z')
      label[0] = static_cast<char>(label[0] - 'a' + 'A');
    WriteOut(label + ": " + value + "\n");
  }
}

void CliOutput::Message(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearProgressLine();
  std::fputs((text + "\n").c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace kestrune
