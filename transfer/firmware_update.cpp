#include "transfer/firmware_update.h"

#include <boost/asio/error.hpp>
#include <boost/asio/io_service.hpp>
#include <boost/asio/serial_port.hpp>
#include <boost/system/system_error.hpp>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include "device/device_discovery.h"
#include "device/serial_link.h"
#include "transfer/close_gate.h"
#include "transfer/device_protocol.h"
#include "transfer/sleep_inhibitor.h"
#include "update/downloader.h"
#include "update/file_contents.h"
#include "update/text_conversion.h"
#include "update/update_check.h"
#include "update/update_manifest.h"
#include "update/user_data_folder.h"

namespace kestrune {
namespace {

constexpr std::uint32_t kImageBlockSize = static_cast<std::uint32_t>(kBlockSize);

// Blocks an image of `size` bytes takes; a tail shorter than a block is
// written as one more, zero-filled block.
std::uint32_t BlocksOf(std::int32_t size) {
  if (size <= 0) return 0;
  return (static_cast<std::uint32_t>(size) + kImageBlockSize - 1) / kImageBlockSize;
}

std::uint32_t TotalBlocks(const std::vector<FirmwareFileEntry>& files) {
  std::uint64_t total = 0;
  for (const FirmwareFileEntry& entry : files) total += BlocksOf(entry.size);
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(total, UINT32_MAX));
}

// A link failure raised while the port is being opened and configured.
struct PortOpenError {
  boost::system::system_error error;
};

// A link failure raised while a block was being written, with the block
// ("block 2 (image 1 block 2) at 0x00009000") for the log.
struct BlockLinkError {
  std::string block;
  boost::system::system_error error;
};

// "read error 110 (Connection timed out)": the operation word that the link
// raised with, the system's error number and its message.
std::string DescribeLinkError(const boost::system::system_error& failure) {
  std::string word = failure.what();
  const std::size_t colon = word.find(':');
  if (colon != std::string::npos) word.resize(colon);
  return word + " error " + std::to_string(failure.code().value()) + " (" +
         failure.code().message() + ")";
}

std::string Hex32(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

void NoteCandidates(FirmwareUpdateReporter& reporter,
                    const std::vector<DiscoveryCandidate>& candidates) {
  if (candidates.empty()) reporter.Note("discovery: no serial port device present");
  for (const DiscoveryCandidate& candidate : candidates) {
    std::string line = "discovery: " + WideToUtf8Text(candidate.instanceId);
    if (!candidate.parentId.empty()) line += ", parent " + WideToUtf8Text(candidate.parentId);
    if (!candidate.path.empty()) line += ", port " + WideToUtf8Text(candidate.path);
    reporter.Note(line + ": " + candidate.verdict);
  }
}

// How a run that ended through an exception ended, with its cause for the
// log. Only call from inside a catch block.
RunOutcome OutcomeOfCurrentException(FirmwareUpdateReporter& reporter) {
  try {
    throw;
  } catch (const PortOpenError& failure) {
    reporter.Note("port: " + DescribeLinkError(failure.error));
    if (failure.error.code() == boost::asio::error::timed_out) return RunOutcome::kWatchSilent;
    return RunOutcome::kPortUnavailable;
  } catch (const BlockLinkError& failure) {
    reporter.Note(failure.block + ": " + DescribeLinkError(failure.error));
    if (failure.error.code() == boost::asio::error::timed_out) return RunOutcome::kWatchSilent;
    return RunOutcome::kBlockRefused;  // the line failed within the block
  } catch (const boost::system::system_error& failure) {
    reporter.Note("link: " + DescribeLinkError(failure));
    if (failure.code() == boost::asio::error::timed_out) return RunOutcome::kWatchSilent;
    return RunOutcome::kBlockRefused;  // a read or write of the block exchange failed
  } catch (const std::exception& failure) {
    reporter.Note(std::string("run stopped: ") + failure.what());
    return RunOutcome::kFailure;
  } catch (...) {
    reporter.Note("run stopped by an unknown exception");
    return RunOutcome::kFailure;
  }
}

// The part of a run that spans the writing of the watch: the reporter knows
// writing is under way and the computer stays awake until the run ends.
class WritingSpan {
 public:
  WritingSpan(FirmwareUpdateReporter& reporter, CloseGate* gate)
      : reporter_(reporter), gate_(gate) {}

  // False when a close was decided first: nothing may be written then.
  bool Begin() {
    if (begun_) return true;
    if (gate_ != nullptr && !gate_->BeginWriting()) return false;
    begun_ = true;
    reporter_.SetWriting(true);
    inhibitor_.emplace("Writing firmware to the dive watch");
    return true;
  }

  // Called once the link is closed.
  void End() {
    if (!begun_) return;
    inhibitor_.reset();
    begun_ = false;
    reporter_.SetWriting(false);
    if (gate_ != nullptr) gate_->EndWriting();
  }

 private:
  FirmwareUpdateReporter& reporter_;
  CloseGate* gate_;
  bool begun_ = false;
  std::optional<SleepInhibitor> inhibitor_;
};

class UpdateRun {
 public:
  UpdateRun(FirmwareUpdateReporter& reporter, const UpdateEnvironment& environment,
            WritingSpan& writing)
      : reporter_(reporter), environment_(environment), writing_(writing) {}

  // Raises what the link raises (a block's failure with the block);
  // everything else ends in the returned outcome, whose status the caller
  // posts.
  RunOutcome Run() {
    const auto started = std::chrono::steady_clock::now();
    std::u16string portPath = environment_.portPath;
    if (portPath.empty()) {
      std::vector<DiscoveryCandidate> candidates;
      portPath =
          FindDevicePortPath(environment_.devices, kWatchVendorId, kWatchProductId, &candidates);
      NoteCandidates(reporter_, candidates);
    } else {
      reporter_.Note("port given: " + WideToUtf8Text(portPath) + " (discovery skipped)");
    }
    if (portPath.empty()) return RunOutcome::kNoWatch;
    reporter_.Note("opening " + WideToUtf8Text(portPath));

    // Destroyed in reverse order: the link (closing the port), the port,
    // then the I/O context.
    std::optional<boost::asio::io_service> io;
    std::optional<boost::asio::serial_port> port;
    std::optional<DeviceProtocol> protocol;
    std::optional<SerialLink> link;
    try {
      io.emplace();  // on Windows this starts the socket layer, which can fail
      port.emplace(*io);
      protocol.emplace(&*port, environment_.answerTimeout);
      link.emplace(*port, WideToUtf8Text(portPath).c_str());
    } catch (const boost::system::system_error& error) {
      throw PortOpenError{error};
    }

    // Unless the run ends well, what the watch has not taken is dropped, so
    // closing the port never waits for the line to drain it.
    struct DiscardUnlessDone {
      std::optional<SerialLink>& link;
      bool done = false;
      ~DiscardUnlessDone() {
        if (!done && link) link->DiscardUnsent();
      }
    } discard{link};

    // `link` closes the port on the way out of a run that stops here.
    const RunOutcome written = WriteAll(*protocol);
    if (written != RunOutcome::kDone) return written;
    // With no image, the finish frame alone: nothing to protect, but a
    // front-end that is closing still gets no frame.
    if (environment_.closeGate != nullptr && environment_.closeGate->CloseRequested() &&
        !environment_.closeGate->Writing()) {
      return RunOutcome::kClosedBeforeWriting;
    }
    protocol->SendFinish();
    link->Drain(environment_.answerTimeout);  // done only once the frame has left
    discard.done = true;
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    // Per block 128 data frames and a commit go out and one answer comes back.
    const std::uint64_t sent =
        (std::uint64_t{blocksWritten_} * (kChunksPerBlock + 1) + 1) * kFrameSize;
    const std::uint64_t received = std::uint64_t{blocksWritten_} * kFrameSize;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", static_cast<double>(took.count()) / 1000.0);
    reporter_.Note("done: " + std::to_string(blocksWritten_) + " blocks written, " +
                   std::to_string(sent) + " bytes sent and " + std::to_string(received) +
                   " received on the line, " + seconds + " s");
    try {
      link->Close();
    } catch (const boost::system::system_error&) {
      // The port counts as closed regardless, and the watch already has
      // every block and the finish frame: the update stands.
    }
    return RunOutcome::kDone;
  }

 private:
  // The manifest's images, downloaded and written in order; kDone when every
  // one is in the watch, otherwise how the run stopped.
  RunOutcome WriteAll(DeviceProtocol& protocol) {
    const SharedManifestText held = environment_.manifestText();
    static const std::string kNoText;
    const std::string& text = held ? *held : kNoText;
    UpdateManifest manifest;
    if (!ParseUpdateManifest(text, manifest)) {
      reporter_.Note("manifest text of " + std::to_string(text.size()) +
                     " bytes is not a usable manifest");
      return RunOutcome::kNoUpdateData;
    }
    reporter_.PostStatus(kFetchingImages);
    const std::uint32_t total = TotalBlocks(manifest.firmwareFiles);
    reporter_.Note("firmware " + WideToUtf8Text(manifest.firmwareVersion) + ": " +
                   std::to_string(manifest.firmwareFiles.size()) + " image(s), " +
                   std::to_string(total) + " blocks");
    reporter_.SetProgressRange(total);

    // Every image is in hand and checked before the first block: a failed
    // download of a later image must not leave the watch half-written.
    std::vector<FileContents> images(manifest.firmwareFiles.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
      const RunOutcome fetched = Fetch(manifest.firmwareFiles[i], images[i]);
      if (fetched != RunOutcome::kDone) return fetched;
    }
    for (std::size_t i = 0; i < images.size(); ++i) {
      const RunOutcome written = WriteOne(manifest.firmwareFiles[i], images[i], protocol);
      if (written != RunOutcome::kDone) return written;
    }
    return RunOutcome::kDone;
  }

  // The image of `entry`, downloaded into the data folder and read back
  // whole into `image`; what is written later is these bytes, whatever
  // happens to the file meanwhile. kDone when it is in hand.
  RunOutcome Fetch(const FirmwareFileEntry& entry, FileContents& image) {
    const std::string what = "image " + std::to_string(entry.sequence) + " " +
                             WideToUtf8Text(entry.filePath) + " (size " +
                             std::to_string(entry.size) + ", address " +
                             Hex32(static_cast<std::uint32_t>(entry.address)) + ")";
    const std::u16string path = ImagePath(entry.sequence);
    if (path.empty()) {
      reporter_.Note(what + ": no user data folder to download into");
      return RunOutcome::kImageDownloadFailed;
    }
    // A body longer than the entry's size can never be the image: the
    // download stops there instead of filling the disk.
    DownloadLimits limits = environment_.downloadLimits;
    limits.maxBytes = static_cast<std::uint64_t>(entry.size);
    const DownloadResult download = environment_.downloader.Download(entry.filePath, path, limits);
    reporter_.Note(what + ": " + download.Describe());
    if (download.tooLarge) return RunOutcome::kImageWrongSize;
    if (!download.ok) return RunOutcome::kImageDownloadFailed;
    // The manifest rule admits no size below zero.
    image = ReadFileContents(path, static_cast<std::uint32_t>(entry.size));
    if (!image.WasRead()) {
      reporter_.Note("image " + std::to_string(entry.sequence) + ": " + WideToUtf8Text(path) +
                     " does not hold the manifest's " + std::to_string(entry.size) + " bytes");
      return RunOutcome::kImageWrongSize;
    }
    return RunOutcome::kDone;
  }

  RunOutcome WriteOne(const FirmwareFileEntry& entry, const FileContents& image,
                      DeviceProtocol& protocol) {
    if (!writing_.Begin()) return RunOutcome::kClosedBeforeWriting;  // the front-end is closing
    reporter_.PostStatus(kWritingImage);

    const std::uint32_t base = static_cast<std::uint32_t>(entry.address);
    for (std::uint32_t offset = 0; offset < image.size; offset += kImageBlockSize) {
      const std::uint32_t length = std::min(kImageBlockSize, image.size - offset);
      // Device addresses wrap at 32 bits like the watch's own.
      const std::uint32_t address = base + offset;
      const std::string block = "block " + std::to_string(blocksWritten_ + 1) + " (image " +
                                std::to_string(entry.sequence) + " block " +
                                std::to_string(offset / kImageBlockSize + 1) + ") at " +
                                Hex32(address);
      bool accepted = false;
      try {
        accepted = protocol.WriteBlock(address, image.UnsignedBytes() + offset, length);
      } catch (const boost::system::system_error& failure) {
        throw BlockLinkError{block, failure};
      }
      if (!accepted) {
        reporter_.Note(block + ": refused by the watch");
        return RunOutcome::kBlockRefused;
      }
      reporter_.SetProgressPosition(++blocksWritten_);
    }
    return RunOutcome::kDone;
  }

  // data<sequence>.bin in the user data folder, resolved anew per image;
  // empty when there is no data folder (an image never lands at the root
  // of the drive) or the path does not fit (it would name another file).
  static std::u16string ImagePath(std::int32_t sequence) {
    return UserDataFilePath(u"data" + Utf8ToWideText(std::to_string(sequence)) + u".bin");
  }

  FirmwareUpdateReporter& reporter_;
  const UpdateEnvironment& environment_;
  WritingSpan& writing_;
  std::uint32_t blocksWritten_ = 0;
};

}  // namespace

std::u16string StatusWithCloseDeferred(const std::u16string& status) {
  if (status.empty() || status == kCloseDeferred) return kCloseDeferred;
  return std::u16string(kCloseDeferred) + u"（" + status + u"）";
}

RunOutcome RunFirmwareUpdateProcedure(FirmwareUpdateReporter& reporter,
                                      const UpdateEnvironment& environment) {
  // This is the body of a worker thread: nothing may leave it as an
  // exception, and the reporter hears how every run ended.
  WritingSpan writing(reporter, environment.closeGate);
  RunOutcome outcome = RunOutcome::kFailure;
  try {
    outcome = UpdateRun(reporter, environment, writing).Run();
  } catch (...) {
    try {
      outcome = OutcomeOfCurrentException(reporter);
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
