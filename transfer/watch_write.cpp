#include "transfer/watch_write.h"

#include <boost/asio/error.hpp>
#include <boost/asio/io_service.hpp>
#include <boost/asio/serial_port.hpp>
#include <boost/system/system_error.hpp>

#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>
#include <mutex>
#include <optional>
#include <vector>

#include "device/port_holders.h"
#include "device/serial_link.h"
#include "transfer/close_gate.h"
#include "transfer/device_protocol.h"
#include "transfer/sleep_inhibitor.h"
#include "update/text_conversion.h"

namespace kestrune {
namespace {

constexpr std::uint32_t kImageBlockSize = static_cast<std::uint32_t>(kBlockSize);

// A link failure raised while the port is being opened and configured.
struct PortOpenError {
  std::string port;
  boost::system::system_error error;
};

// The port opened, but other programs have it open too.
struct PortHeldError {
  std::string port;
  std::vector<PortHolder> holders;
};

// A link failure raised while a block or the finish frame was being
// written, with what was ("block 2 (image 1 block 2) at 0x00009000",
// "finish frame") for the log.
struct BlockLinkError {
  std::string block;
  boost::system::system_error error;
};

// "read error 5 (Input/output error)": the operation word that the link
// raised with, the system's error number and its message. The line's own
// time-out borrows a socket's error number, which Windows has no text for
// ("Unknown error (10060)"), and which Linux calls a connection's: it is
// said as what it is, "read error 110 (timed out)".
std::string DescribeLinkError(const boost::system::system_error& failure) {
  std::string word = failure.what();
  const std::size_t colon = word.find(':');
  if (colon != std::string::npos) word.resize(colon);
  const std::string text = failure.code() == boost::asio::error::timed_out
                               ? std::string("timed out")
                               : failure.code().message();
  return word + " error " + std::to_string(failure.code().value()) + " (" + text + ")";
}

std::string Hex32(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

// "block 2 (image 1 block 2) at 0x00009000": the block's number over the
// run and within its image, and its address.
std::string BlockName(std::uint32_t number, std::int32_t sequence, std::uint32_t indexInImage,
                      std::uint32_t address) {
  return "block " + std::to_string(number) + " (image " + std::to_string(sequence) + " block " +
         std::to_string(indexInImage) + ") at " + Hex32(address);
}

struct ReadBackTally {
  std::uint32_t rewritten = 0;
  std::uint64_t sent = 0, received = 0;  // bytes on the line
};

// Reads one written block back; one that differs from `written` is written
// once more and read again. False, with the cause noted, when it still
// differs, is refused when written again, or cannot be read back soundly
// (its frames out of order or not matching the watch's checksum: the line
// may then be out of step, so nothing more is sent).
bool VerifyBlock(FirmwareUpdateReporter& reporter, const std::string& block, std::uint32_t address,
                 const std::uint8_t* written, std::uint32_t length, DeviceProtocol& protocol,
                 ReadBackTally& tally) {
  std::array<std::uint8_t, kBlockSize> back{};
  // Where the block read back first differs from `written` (`length` when
  // nowhere); nothing when it could not be read back.
  auto readBack = [&]() -> std::optional<std::uint32_t> {
    tally.sent += kFrameSize;  // the request, then 128 data frames and the end frame
    tally.received += (kChunksPerBlock + 1) * kFrameSize;
    if (!protocol.ReadBlock(address, back.data(), length)) return std::nullopt;
    return static_cast<std::uint32_t>(std::mismatch(written, written + length, back.data()).first -
                                      written);
  };
  const char* const kUnsound = "the watch's frames were out of order or did not match its checksum";

  std::optional<std::uint32_t> differsAt = readBack();
  if (!differsAt) {
    reporter.Note(block + ": reading back failed: " + kUnsound);
    return false;
  }
  if (*differsAt == length) return true;
  reporter.Note(block + ": read back differs from the image at byte " + std::to_string(*differsAt) +
                "; writing it once more");
  tally.sent += (kChunksPerBlock + 1) * kFrameSize;
  tally.received += kFrameSize;
  if (!protocol.WriteBlock(address, written, length)) {
    reporter.Note(block + ": refused by the watch when written once more");
    return false;
  }
  differsAt = readBack();
  if (!differsAt) {
    reporter.Note(block + ": reading back after writing it once more failed: " + kUnsound);
    return false;
  }
  if (*differsAt != length) {
    reporter.Note(block + ": still differs from the image at byte " + std::to_string(*differsAt) +
                  " after writing it once more");
    return false;
  }
  reporter.Note(block + ": written once more, now reads back as the image");
  ++tally.rewritten;
  return true;
}

// The read-back pass over every block written, in the order written; the
// progress is not moved. kBlockRefused when a block failed it.
RunOutcome VerifyWritten(FirmwareUpdateReporter& reporter, const FetchedFirmware& firmware,
                         std::uint32_t blocksWritten, DeviceProtocol& protocol) {
  if (blocksWritten == 0) {
    reporter.Note("verify: no block was written, none to read back");
    return RunOutcome::kDone;
  }
  reporter.Note("verify: reading back " + std::to_string(blocksWritten) + " written blocks");
  reporter.VerifyingBlocks(blocksWritten);
  ReadBackTally tally;
  std::uint32_t number = 0;
  for (const FetchedImage& image : firmware.images) {
    const std::uint32_t base = static_cast<std::uint32_t>(image.entry.address);
    for (std::uint32_t offset = 0; offset < image.bytes.size; offset += kImageBlockSize) {
      const std::uint32_t length = std::min(kImageBlockSize, image.bytes.size - offset);
      const std::uint32_t address = base + offset;
      const std::string block =
          BlockName(++number, image.entry.sequence, offset / kImageBlockSize + 1, address);
      bool verified = false;
      try {
        verified = VerifyBlock(reporter, block, address, image.bytes.UnsignedBytes() + offset,
                               length, protocol, tally);
      } catch (const boost::system::system_error& failure) {
        throw BlockLinkError{block + " reading back", failure};
      }
      if (!verified) return RunOutcome::kBlockRefused;
    }
  }
  reporter.Note("verify: " + std::to_string(number) + " blocks read back, " +
                std::to_string(tally.rewritten) + " written once more; " +
                std::to_string(tally.sent) + " bytes sent and " + std::to_string(tally.received) +
                " received on the line");
  return RunOutcome::kDone;
}

// How many watches of the process are being written. Each writer holds a
// sleep block of its own rather than one shared by all: on Windows the
// block belongs to the thread that asked for it and ends with that thread,
// so the first writer's block would go when its watch is done while the
// others are still being written.
struct SleepHold {
  std::mutex mutex;
  int writers = 0;
};

// Never destroyed: a writer may still end while the process's statics are
// being torn down.
SleepHold& ProcessSleepHold() {
  static SleepHold* const hold = new SleepHold;
  return *hold;
}

}  // namespace

WritingSpan::WritingSpan(FirmwareUpdateReporter& reporter, CloseGate* gate)
    : reporter_(reporter), gate_(gate) {}

WritingSpan::~WritingSpan() {
  try {
    End();
  } catch (...) {
  }
}

bool WritingSpan::Begin() {
  if (begun_) return true;
  // Asked for before writing begins: the system's answer (on Linux a bus
  // call of up to 2 s) then holds no write up, and a close meanwhile still
  // ends the run at once.
  sleepBlock_.emplace("Writing firmware to the dive watch");
  if (gate_ != nullptr && !gate_->BeginWriting()) {
    sleepBlock_.reset();
    return false;
  }
  begun_ = true;
  reporter_.SetWriting(true);
  SleepHold& hold = ProcessSleepHold();
  std::lock_guard<std::mutex> lock(hold.mutex);
  ++hold.writers;
  return true;
}

void WritingSpan::End() {
  if (!begun_) return;
  begun_ = false;
  {
    SleepHold& hold = ProcessSleepHold();
    std::lock_guard<std::mutex> lock(hold.mutex);
    --hold.writers;
  }
  sleepBlock_.reset();
  reporter_.SetWriting(false);
  if (gate_ != nullptr) gate_->EndWriting();
}

int WatchesBeingWritten() {
  SleepHold& hold = ProcessSleepHold();
  std::lock_guard<std::mutex> lock(hold.mutex);
  return hold.writers;
}

// Destroyed in reverse order: the link (closing the port), the port, then
// the I/O context.
struct WatchConnection::Link {
  std::optional<boost::asio::io_service> io;
  std::optional<boost::asio::serial_port> port;
  std::optional<DeviceProtocol> protocol;
  std::optional<SerialLink> serial;
};

WatchConnection::WatchConnection(const std::u16string& portPath,
                                 std::chrono::milliseconds answerTimeout)
    : link_(new Link) {
  const std::string path = WideToUtf8Text(portPath);
  try {
    link_->io.emplace();  // on Windows this starts the socket layer, which can fail
    link_->port.emplace(*link_->io);
    link_->protocol.emplace(&*link_->port, answerTimeout);
    link_->serial.emplace(*link_->port, path.c_str());
  } catch (const boost::system::system_error& error) {
    throw PortOpenError{path, error};
  }
  // The port is ours alone from here on, but a program that opened it
  // before still reads or writes it and would take the watch's answers:
  // the link is closed again (by `link_`) before anything is written.
  std::vector<PortHolder> holders = OtherPortHolders(path);
  if (!holders.empty()) throw PortHeldError{path, std::move(holders)};
  answerTimeout_ = answerTimeout;
}

WatchConnection::~WatchConnection() {
  if (!done_ && link_->serial) link_->serial->DiscardUnsent();
}

RunOutcome WatchConnection::WriteFirmware(const FetchedFirmware& firmware,
                                          FirmwareUpdateReporter& reporter, WritingSpan& writing,
                                          const CloseGate* closeGate, bool verifyWrittenBlocks,
                                          std::chrono::steady_clock::time_point started) {
  std::uint32_t blocksWritten = 0;
  for (const FetchedImage& image : firmware.images) {
    if (!writing.Begin()) return RunOutcome::kClosedBeforeWriting;  // the front-end is closing
    reporter.PostStatus(kWritingImage);
    const FirmwareFileEntry& entry = image.entry;
    const std::uint32_t base = static_cast<std::uint32_t>(entry.address);
    const std::uint32_t size = image.bytes.size;
    for (std::uint32_t offset = 0; offset < size; offset += kImageBlockSize) {
      const std::uint32_t length = std::min(kImageBlockSize, size - offset);
      // Device addresses wrap at 32 bits like the watch's own.
      const std::uint32_t address = base + offset;
      const std::string block =
          BlockName(blocksWritten + 1, entry.sequence, offset / kImageBlockSize + 1, address);
      bool accepted = false;
      try {
        accepted =
            link_->protocol->WriteBlock(address, image.bytes.UnsignedBytes() + offset, length);
      } catch (const boost::system::system_error& failure) {
        throw BlockLinkError{block, failure};
      }
      if (!accepted) {
        reporter.Note(block + ": refused by the watch");
        reporter.SetCause({RunCauseKind::kBlockRefused});
        return RunOutcome::kBlockRefused;
      }
      reporter.SetProgressPosition(++blocksWritten);
    }
  }
  if (verifyWrittenBlocks) {
    const RunOutcome verified = VerifyWritten(reporter, firmware, blocksWritten, *link_->protocol);
    if (verified != RunOutcome::kDone) {
      if (verified == RunOutcome::kBlockRefused) reporter.SetCause({RunCauseKind::kBlockRefused});
      return verified;
    }
  }
  // With no image, the finish frame alone: nothing to protect, but a
  // front-end that is closing still gets no frame.
  if (closeGate != nullptr && closeGate->CloseRequested() && !closeGate->Writing()) {
    return RunOutcome::kClosedBeforeWriting;
  }
  try {
    link_->protocol->SendFinish();
  } catch (const boost::system::system_error& failure) {
    throw BlockLinkError{"finish frame", failure};  // not whole on the line: the update failed
  }
  reporter.Note("finish frame handed to the line");
  // Done only once the frame has left. A watch restarts into its new
  // firmware on the frame and may drop off the bus before the drain ends:
  // that is the update done, not a failure (written again, it would
  // restart again).
  try {
    link_->serial->Drain(answerTimeout_);
  } catch (const boost::system::system_error& failure) {
    if (!DeviceLeftTheLine(failure.code())) throw BlockLinkError{"finish frame", failure};
    reporter.Note("the watch left the line after its finish frame (" + DescribeLinkError(failure) +
                  ")");
  }
  done_ = true;
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  // Per block 128 data frames and a commit go out and one answer comes back.
  const std::uint64_t sent =
      (std::uint64_t{blocksWritten} * (kChunksPerBlock + 1) + 1) * kFrameSize;
  const std::uint64_t received = std::uint64_t{blocksWritten} * kFrameSize;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", static_cast<double>(took.count()) / 1000.0);
  reporter.Note("done: " + std::to_string(blocksWritten) + " blocks written, " +
                std::to_string(sent) + " bytes sent and " + std::to_string(received) +
                " received on the line, " + seconds + " s");
  try {
    link_->serial->Close();
  } catch (const boost::system::system_error&) {
    // The port counts as closed regardless, and the watch already has
    // every block and the finish frame: the update stands.
  }
  return RunOutcome::kDone;
}

namespace {

// Why `failure` kept the port from opening. Nothing is being written yet:
// the port's other users and the seat may be looked up.
RunCause CauseOfPortOpenFailure(const PortOpenError& failure) {
  RunCause cause{PortOpenCauseKind(failure.error.code()), failure.port,
                 failure.error.code().value()};
  if (cause.kind == RunCauseKind::kPortBusy) {
    cause.holder = DescribePortHolders(OtherPortHolders(failure.port));
  }
  if (cause.kind == RunCauseKind::kPermissionDenied) cause.seat = UserSeatState();
  return cause;
}

RunCause CauseOfPortHeld(const PortHeldError& failure) {
  RunCause cause{RunCauseKind::kPortBusy, failure.port};
  cause.holder = DescribePortHolders(failure.holders);
  return cause;
}

}  // namespace

RunCause ProbeWatchPort(const std::u16string& portPath) {
  try {
    WatchConnection connection(portPath, std::chrono::milliseconds(1000));
    return {};
  } catch (const PortHeldError& failure) {
    return CauseOfPortHeld(failure);
  } catch (const PortOpenError& failure) {
    return CauseOfPortOpenFailure(failure);
  } catch (...) {
    return {RunCauseKind::kPortError, WideToUtf8Text(portPath)};
  }
}

RunOutcome OutcomeOfRunFailure(FirmwareUpdateReporter& reporter) {
  // The cause of a failed line: silent, or gone (hang-up, I/O error, unplugged).
  const auto lineCause = [&reporter](const boost::system::system_error& failure) {
    const bool silent = failure.code() == boost::asio::error::timed_out;
    reporter.SetCause({silent ? RunCauseKind::kWatchSilent : RunCauseKind::kWatchWentAway});
    return silent ? RunOutcome::kWatchSilent : RunOutcome::kLinkFailed;
  };
  try {
    throw;
  } catch (const PortHeldError& failure) {
    const std::string holders = DescribePortHolders(failure.holders);
    reporter.Note("port: " + failure.port + " is open in another program: " + holders +
                  "; nothing written");
    reporter.SetCause(CauseOfPortHeld(failure));
    reporter.PortHeldBy(failure.port, holders);
    return RunOutcome::kPortUnavailable;
  } catch (const PortOpenError& failure) {
    reporter.Note("port: " + DescribeLinkError(failure.error));
    if (failure.error.code() == boost::asio::error::timed_out) {
      reporter.SetCause({RunCauseKind::kWatchSilent, failure.port});
      return RunOutcome::kWatchSilent;
    }
    reporter.SetCause(CauseOfPortOpenFailure(failure));
    return RunOutcome::kPortUnavailable;
  } catch (const BlockLinkError& failure) {
    reporter.Note(failure.block + ": " + DescribeLinkError(failure.error));
    return lineCause(failure.error);  // the line failed within the block: nothing was refused
  } catch (const boost::system::system_error& failure) {
    reporter.Note("link: " + DescribeLinkError(failure));
    return lineCause(failure);  // a read or write on the line failed
  } catch (const std::exception& failure) {
    reporter.Note(std::string("run stopped: ") + failure.what());
    return RunOutcome::kFailure;
  } catch (...) {
    reporter.Note("run stopped by an unknown exception");
    return RunOutcome::kFailure;
  }
}

RunOutcome WriteFirmwareToWatch(FirmwareUpdateReporter& reporter, const FetchedFirmware& firmware,
                                const std::u16string& portPath,
                                std::chrono::milliseconds answerTimeout, CloseGate* closeGate,
                                bool verifyWrittenBlocks) {
  // The body of a worker thread: nothing may leave it as an exception.
  WritingSpan writing(reporter, closeGate);
  return RunToItsEnd(reporter, writing, [&] {
    const auto started = std::chrono::steady_clock::now();
    reporter.SetProgressRange(firmware.totalBlocks);
    reporter.Note("opening " + WideToUtf8Text(portPath));
    WatchConnection connection(portPath, answerTimeout);
    return connection.WriteFirmware(firmware, reporter, writing, closeGate, verifyWrittenBlocks,
                                    started);
  });
}

RunOutcome RunToItsEnd(FirmwareUpdateReporter& reporter, WritingSpan& writing,
                       const std::function<RunOutcome()>& run) {
  RunOutcome outcome = RunOutcome::kFailure;
  try {
    outcome = run();
  } catch (...) {
    try {
      outcome = OutcomeOfRunFailure(reporter);
    } catch (...) {
    }
  }
  try {
    const std::u16string status = RunOutcomeStatus(outcome);
    if (!status.empty()) reporter.PostStatus(status);
  } catch (...) {
  }
  try {
    writing.End();
  } catch (...) {
  }
  return outcome;
}

}  // namespace kestrune
