#include "transfer/firmware_update.h"

#include <boost/asio/error.hpp>
#include <boost/asio/io_service.hpp>
#include <boost/asio/serial_port.hpp>
#include <boost/system/system_error.hpp>

#include <algorithm>
#include <array>
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

// "block 2 (image 1 block 2) at 0x00009000": the block's number over the
// run and within its image, and its address.
std::string BlockName(std::uint32_t number, std::int32_t sequence, std::uint32_t indexInImage,
                      std::uint32_t address) {
  return "block " + std::to_string(number) + " (image " + std::to_string(sequence) + " block " +
         std::to_string(indexInImage) + ") at " + Hex32(address);
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

// What the user sees of a run that ended through an exception, and its
// cause for the log. Only call from inside a catch block.
const char16_t* StatusForCurrentException(FirmwareUpdateReporter& reporter) {
  try {
    throw;
  } catch (const PortOpenError& failure) {
    reporter.Note("port: " + DescribeLinkError(failure.error));
    if (failure.error.code() == boost::asio::error::timed_out) return kWatchSilent;
    return kPortUnavailable;
  } catch (const BlockLinkError& failure) {
    reporter.Note(failure.block + ": " + DescribeLinkError(failure.error));
    if (failure.error.code() == boost::asio::error::timed_out) return kWatchSilent;
    return kUpdateFailed;
  } catch (const boost::system::system_error& failure) {
    reporter.Note("link: " + DescribeLinkError(failure));
    if (failure.code() == boost::asio::error::timed_out) return kWatchSilent;
    return kUpdateFailed;  // a read or write of the block exchange failed
  } catch (const std::exception& failure) {
    reporter.Note(std::string("run stopped: ") + failure.what());
    return kUpdateFailed;
  } catch (...) {
    reporter.Note("run stopped by an unknown exception");
    return kUpdateFailed;
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
  UpdateRun(FirmwareUpdateReporter& reporter, const FirmwareUpdateEnvironment& environment,
            WritingSpan& writing)
      : reporter_(reporter), environment_(environment), writing_(writing) {}

  // Raises what the link raises (a block's failure with the block);
  // everything else ends in a status.
  void Run() {
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
    if (portPath.empty()) {
      reporter_.PostStatus(kConnectWatch);
      return;
    }
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

    if (!WriteAll(*protocol)) return;  // `link` closes the port on the way out
    // With no image, the finish frame alone: nothing to protect, but a
    // front-end that is closing still gets no frame.
    if (environment_.closeGate != nullptr && environment_.closeGate->CloseRequested() &&
        !environment_.closeGate->Writing()) {
      return;
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
    reporter_.PostStatus(kUpdateDone);
    try {
      link->Close();
    } catch (const boost::system::system_error&) {
      // The port counts as closed regardless, and the watch already has
      // every block and the finish frame: the update stands.
    }
  }

 private:
  // The manifest's images, downloaded and written in order. False when the
  // run stopped with its error status posted.
  bool WriteAll(DeviceProtocol& protocol) {
    const SharedManifestText held = environment_.manifestText();
    static const std::string kNoText;
    const std::string& text = held ? *held : kNoText;
    UpdateManifest manifest;
    if (!ParseUpdateManifest(text, manifest)) {
      reporter_.Note("manifest text of " + std::to_string(text.size()) +
                     " bytes is not a usable manifest");
      reporter_.PostStatus(kNoUpdateData);
      return false;
    }
    reporter_.PostStatus(kFetchingImages);
    const std::uint32_t total = TotalBlocks(manifest.firmwareFiles);
    reporter_.Note("firmware " + WideToUtf8Text(manifest.firmwareVersion) + ": " +
                   std::to_string(manifest.firmwareFiles.size()) + " image(s), " +
                   std::to_string(total) + " blocks");
    reporter_.SetProgressRange(total);

    // Every image is in hand and checked before the first block: a failed
    // download of a later image must not leave the watch half-written.
    std::vector<FileContents> images;
    images.reserve(manifest.firmwareFiles.size());
    for (const FirmwareFileEntry& entry : manifest.firmwareFiles) {
      std::optional<FileContents> image = Fetch(entry);
      if (!image) return false;
      images.push_back(std::move(*image));
    }
    for (std::size_t i = 0; i < images.size(); ++i) {
      if (!WriteOne(manifest.firmwareFiles[i], images[i], protocol)) return false;
    }
    return !environment_.verifyWrittenBlocks ||
           VerifyWritten(manifest.firmwareFiles, images, protocol);
  }

  // The read-back pass over every block written, in the order written. The
  // progress is not moved. False when a block failed it, with "更新錯誤"
  // posted.
  bool VerifyWritten(const std::vector<FirmwareFileEntry>& files,
                     const std::vector<FileContents>& images, DeviceProtocol& protocol) {
    if (blocksWritten_ == 0) {
      reporter_.Note("verify: no block was written, none to read back");
      return true;
    }
    reporter_.Note("verify: reading back " + std::to_string(blocksWritten_) + " written blocks");
    reporter_.VerifyingBlocks(blocksWritten_);
    ReadBackTally tally;
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < images.size(); ++i) {
      const std::uint32_t base = static_cast<std::uint32_t>(files[i].address);
      for (std::uint32_t offset = 0; offset < images[i].size; offset += kImageBlockSize) {
        const std::uint32_t length = std::min(kImageBlockSize, images[i].size - offset);
        const std::uint32_t address = base + offset;
        const std::string block =
            BlockName(++number, files[i].sequence, offset / kImageBlockSize + 1, address);
        bool verified = false;
        try {
          verified = VerifyBlock(block, address, images[i].UnsignedBytes() + offset, length,
                                 protocol, tally);
        } catch (const boost::system::system_error& failure) {
          throw BlockLinkError{block + " reading back", failure};
        }
        if (!verified) {
          reporter_.PostStatus(kUpdateFailed);
          return false;
        }
      }
    }
    reporter_.Note("verify: " + std::to_string(number) + " blocks read back, " +
                   std::to_string(tally.rewritten) + " written once more; " +
                   std::to_string(tally.sent) + " bytes sent and " +
                   std::to_string(tally.received) + " received on the line");
    return true;
  }

  struct ReadBackTally {
    std::uint32_t rewritten = 0;
    std::uint64_t sent = 0, received = 0;  // bytes on the line
  };

  // Reads one written block back; one that differs from `written` is
  // written once more and read again. False, with the cause noted, when it
  // still differs, is refused when written again, or cannot be read back
  // soundly (its frames out of order or not matching the watch's checksum:
  // the line may then be out of step, so nothing more is sent).
  bool VerifyBlock(const std::string& block, std::uint32_t address, const std::uint8_t* written,
                   std::uint32_t length, DeviceProtocol& protocol, ReadBackTally& tally) {
    std::array<std::uint8_t, kBlockSize> back{};
    // Where the block read back first differs from `written` (`length` when
    // nowhere); nothing when it could not be read back.
    auto readBack = [&]() -> std::optional<std::uint32_t> {
      tally.sent += kFrameSize;  // the request, then 128 data frames and the end frame
      tally.received += (kChunksPerBlock + 1) * kFrameSize;
      if (!protocol.ReadBlock(address, back.data(), length)) return std::nullopt;
      return static_cast<std::uint32_t>(
          std::mismatch(written, written + length, back.data()).first - written);
    };
    const char* const kUnsound =
        "the watch's frames were out of order or did not match its checksum";

    std::optional<std::uint32_t> differsAt = readBack();
    if (!differsAt) {
      reporter_.Note(block + ": reading back failed: " + kUnsound);
      return false;
    }
    if (*differsAt == length) return true;
    reporter_.Note(block + ": read back differs from the image at byte " +
                   std::to_string(*differsAt) + "; writing it once more");
    tally.sent += (kChunksPerBlock + 1) * kFrameSize;
    tally.received += kFrameSize;
    if (!protocol.WriteBlock(address, written, length)) {
      reporter_.Note(block + ": refused by the watch when written once more");
      return false;
    }
    differsAt = readBack();
    if (!differsAt) {
      reporter_.Note(block + ": reading back after writing it once more failed: " + kUnsound);
      return false;
    }
    if (*differsAt != length) {
      reporter_.Note(block + ": still differs from the image at byte " +
                     std::to_string(*differsAt) + " after writing it once more");
      return false;
    }
    reporter_.Note(block + ": written once more, now reads back as the image");
    ++tally.rewritten;
    return true;
  }

  // The image of `entry`, downloaded into the data folder and read back
  // whole; what is written later is these bytes, whatever happens to the
  // file meanwhile. Empty when the run stopped with its error status posted.
  std::optional<FileContents> Fetch(const FirmwareFileEntry& entry) {
    const std::string what = "image " + std::to_string(entry.sequence) + " " +
                             WideToUtf8Text(entry.filePath) + " (size " +
                             std::to_string(entry.size) + ", address " +
                             Hex32(static_cast<std::uint32_t>(entry.address)) + ")";
    const std::u16string path = ImagePath(entry.sequence);
    if (path.empty()) {
      reporter_.Note(what + ": no user data folder to download into");
      reporter_.PostStatus(kImageDownloadFailed);
      return std::nullopt;
    }
    // A body longer than the entry's size can never be the image: the
    // download stops there instead of filling the disk.
    DownloadLimits limits = environment_.downloadLimits;
    limits.maxBytes = static_cast<std::uint64_t>(entry.size);
    const DownloadResult download = environment_.downloader.Download(entry.filePath, path, limits);
    reporter_.Note(what + ": " + download.Describe());
    if (download.tooLarge) {
      reporter_.PostStatus(kImageWrongSize);
      return std::nullopt;
    }
    if (!download.ok) {
      reporter_.PostStatus(kImageDownloadFailed);
      return std::nullopt;
    }
    // The manifest rule admits no size below zero.
    FileContents image = ReadFileContents(path, static_cast<std::uint32_t>(entry.size));
    if (!image.WasRead()) {
      reporter_.Note("image " + std::to_string(entry.sequence) + ": " + WideToUtf8Text(path) +
                     " does not hold the manifest's " + std::to_string(entry.size) + " bytes");
      reporter_.PostStatus(kImageWrongSize);
      return std::nullopt;
    }
    return image;
  }

  bool WriteOne(const FirmwareFileEntry& entry, const FileContents& image,
                DeviceProtocol& protocol) {
    if (!writing_.Begin()) return false;  // the front-end is closing
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
        reporter_.PostStatus(kUpdateFailed);
        return false;
      }
      reporter_.SetProgressPosition(++blocksWritten_);
    }
    return true;
  }

  // data<sequence>.bin in the user data folder, resolved anew per image;
  // empty when there is no data folder (an image never lands at the root
  // of the drive) or the path does not fit (it would name another file).
  static std::u16string ImagePath(std::int32_t sequence) {
    return UserDataFilePath(u"data" + Utf8ToWideText(std::to_string(sequence)) + u".bin");
  }

  FirmwareUpdateReporter& reporter_;
  const FirmwareUpdateEnvironment& environment_;
  WritingSpan& writing_;
  std::uint32_t blocksWritten_ = 0;
};

}  // namespace

std::u16string StatusWithCloseDeferred(const std::u16string& status) {
  if (status.empty() || status == kCloseDeferred) return kCloseDeferred;
  return std::u16string(kCloseDeferred) + u"（" + status + u"）";
}

void RunFirmwareUpdateProcedure(FirmwareUpdateReporter& reporter,
                                const FirmwareUpdateEnvironment& environment) {
  // This is the body of a worker thread: nothing may leave it as an
  // exception, and the reporter hears how every run ended.
  WritingSpan writing(reporter, environment.closeGate);
  try {
    UpdateRun(reporter, environment, writing).Run();
  } catch (...) {
    try {
      reporter.PostStatus(StatusForCurrentException(reporter));
    } catch (...) {
    }
  }
  try {
    writing.End();
  } catch (...) {
  }
}

}  // namespace kestrune
