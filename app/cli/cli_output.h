#pragma once
// What kestrune-update prints: text for a person (a redrawn progress line on
// a terminal, plain lines otherwise) or one JSON object per line. Safe to
// call from the run and from the interrupt thread at once, and never waits
// for the output: each call is handed to the program's output thread (a
// ReportDrain), which prints in the order of the calls, so a stopped
// terminal or a full pipe holds up nothing but that thread. A stream whose
// reader went away is no longer written to; the run goes on.

#include <chrono>
#include <initializer_list>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/cli/progress_rate.h"
#include "report/report_drain.h"
#include "transfer/run_cause.h"

namespace kestrune {

enum class OutputStyle { kTerminal, kPlain, kJson };

class CliOutput {
 public:
  // Prints on `drain`'s thread; what is printed holds on to what it needs,
  // so the object may go before its last lines are out. `quiet` (-q):
  // no status, progress or verifying line; the last status is said with
  // the result instead (in JSON the result line alone carries it).
  CliOutput(OutputStyle style, ReportDrain& drain, bool quiet = false);

  OutputStyle Style() const { return style_; }
  bool Quiet() const { return quiet_; }
  // A text for Result's further members: English in JSON, where scripts
  // may read it, in the user's language in the text a person reads.
  std::string Say(const char* english, std::initializer_list<std::string> values = {}) const;
  // The output thread this prints on.
  ReportDrain& Drain() const { return drain_; }

  // A status as the dialog shows it.
  void Status(const std::u16string& text);
  // Blocks written so far out of `total`; shown on a terminal and in JSON.
  // While the output is behind, a step may take the place of the one before.
  void Progress(std::uint32_t done, std::uint32_t total);
  // Every image is written and its `blocks` blocks are now read back (an
  // update with --verify); the progress stays where it is meanwhile.
  void Verifying(std::uint32_t blocks);
  // A watch the devices command found: its port, USB serial number and
  // place (each may be empty), why its port does not open now (no cause:
  // it opens), and whether it is the one an update would open.
  void Watch(const std::string& port, const std::string& serial, const std::string& location,
             const RunCause& portCause, bool picked);
  // A serial port the devices command passed over, and why.
  void PassedOver(const std::string& instanceId, const std::string& path,
                  const std::string& reason);
  // The end: exit code, its reason word, last status, and any further
  // members (name, text). The status is shown in the user's language, in
  // JSON too; a further member's text as it is given (see Say), a fixed
  // English one translated in the text a person reads. A known `cause` is
  // said beneath the status (on standard error), and in JSON as the
  // result's `cause` object.
  void Result(int exitCode, const std::string& reason, const std::u16string& lastStatus,
              const std::vector<std::pair<std::string, std::string>>& extra = {},
              const RunCause& cause = {});
  // A message on standard error, on a line of its own.
  void Message(const std::string& text);
  // Whole lines (each ending with '\n') on standard output as they are, in
  // every style: the history's listing.
  void Lines(const std::string& text);

 private:
  class Printer;  // what is printed, on the output thread only

  OutputStyle style_;
  bool quiet_;
  ReportDrain& drain_;
  std::shared_ptr<Printer> printer_;
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

// "kestrune-update: /dev/ttyACM0 is open in another program: pid 4711
// (cat)" in the user's language, made safe for a terminal (a program names
// itself).
std::string PortHeldMessage(const std::string& port, const std::string& holders);

// The start of a JSON event's line up to its time: {"event":NAME,"time":T
// (the caller adds the other members and the closing brace). `when` is when
// the reported thing happened, not when the line is printed.
std::string JsonEventHead(const std::string& name, std::chrono::system_clock::time_point when);

// The JSON object of a cause: its stable word, what it is about (port,
// errno, holder, path, date, whichever it has) and `hint`, its line in the
// user's language.
std::string CauseJson(const RunCause& cause);

// A watch's port as the devices command says it: "opens", "busy: pid 4711
// (cat)", "not permitted", "not a serial port", ...
std::string PortStateText(const RunCause& portCause);

// "3/12 blocks   25%  1.2 KiB/s  0:07 left": blocks, percent, and the rate
// of firmware bytes and time left when there is an estimate yet.
std::string ProgressLine(std::uint32_t done, std::uint32_t total,
                         const std::optional<RateEstimate>& estimate);

}  // namespace kestrune
