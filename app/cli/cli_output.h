#pragma once
// What kestrune-update prints: text for a person (a redrawn progress line on
// a terminal, plain lines otherwise) or one JSON object per line. Safe to
// call from the run and from the interrupt thread at once. A stream whose
// reader went away is no longer written to; the run goes on.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace kestrune {

enum class OutputStyle { kTerminal, kPlain, kJson };

class CliOutput {
 public:
  explicit CliOutput(OutputStyle style) : style_(style) {}

  OutputStyle Style() const { return style_; }

  // A status as the dialog shows it.
  void Status(const std::u16string& text);
  // Blocks written so far out of `total`; shown on a terminal and in JSON.
  void Progress(std::uint32_t done, std::uint32_t total);
  // Every image is written and its `blocks` blocks are now read back (an
  // update with --verify); the progress stays where it is meanwhile.
  void Verifying(std::uint32_t blocks);
  // A watch the devices command found: its port, USB serial number and
  // place (each may be empty), whether its port opens now, and whether it
  // is the one an update would open.
  void Watch(const std::string& port, const std::string& serial, const std::string& location,
             bool opens, bool picked);
  // A serial port the devices command passed over, and why.
  void PassedOver(const std::string& instanceId, const std::string& path,
                  const std::string& reason);
  // The end: exit code, its reason word, last status, and any further
  // members (name, text).
  void Result(int exitCode, const std::string& reason, const std::u16string& lastStatus,
              const std::vector<std::pair<std::string, std::string>>& extra = {});
  // A message on standard error, on a line of its own.
  void Message(const std::string& text);
  // Whole lines (each ending with '\n') on standard output as they are, in
  // every style: the history's listing.
  void Lines(const std::string& text);

 private:
  void ClearProgressLine();
  void WriteOut(const std::string& text);
  void WriteErr(const std::string& text);

  OutputStyle style_;
  std::mutex mutex_;
  bool progressShown_ = false;
  bool outClosed_ = false;
  bool errClosed_ = false;
  bool timing_ = false;
  std::chrono::steady_clock::time_point firstBlockAt_;
  std::uint32_t firstDone_ = 0;
};

// `text` as a JSON string, quotes included, written by JsonCpp. Besides
// what JSON requires, DEL, the C1 controls and U+2028/U+2029 are escaped
// too, and bytes that are not UTF-8 become \ufffd.
std::string JsonString(const std::string& text);

// UTF-8 text from the service or the watch made safe to show on a terminal:
// control characters (C0 but the newline if `keepNewlines`, DEL, C1, line
// and paragraph separators, bidirectional overrides) and bytes that are not
// UTF-8 each become U+FFFD, so no escape sequence reaches the terminal.
std::string TerminalSafeText(const std::string& text, bool keepNewlines);

// "  3/12  25%  1.2 KiB/s  0:07 left": blocks, percent, rate of firmware
// bytes and time left, given the time the blocks since `firstDone` took.
std::string ProgressLine(std::uint32_t done, std::uint32_t total, std::uint32_t firstDone,
                         std::chrono::milliseconds elapsed);

}  // namespace kestrune
