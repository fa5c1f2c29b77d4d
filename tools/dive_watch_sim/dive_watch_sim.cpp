#include "tools/dive_watch_sim/dive_watch_sim.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace kestrune {

namespace {

constexpr char kWakeStop = 's';
constexpr char kWakeHangUp = 'h';

[[noreturn]] void ThrowErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

// Sends `fd` over the socket pair `holder` and leaves it there unreceived:
// the socket keeps the file open until the pair is closed.
void SendIntoHolder(int fd, const int holder[2]) {
  char byte = 0;
  iovec data{&byte, 1};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = SOL_SOCKET;
  header->cmsg_type = SCM_RIGHTS;
  header->cmsg_len = CMSG_LEN(sizeof(int));
  std::memcpy(CMSG_DATA(header), &fd, sizeof(int));
  while (::sendmsg(holder[0], &message, MSG_NOSIGNAL) < 0) {
    if (errno != EINTR) ThrowErrno("sendmsg slave");
  }
}

void MakeRaw(int fd) {
  termios ios;
  if (::tcgetattr(fd, &ios) != 0) ThrowErrno("tcgetattr");
  ::cfmakeraw(&ios);
  ios.c_iflag &= ~(IXOFF | IXANY);
  if (::tcsetattr(fd, TCSANOW, &ios) != 0) ThrowErrno("tcsetattr");
}

}  // namespace

DiveWatchSim::DiveWatchSim(DiveWatchFaults faults, DiveWatchPacing pacing)
    : faults_(faults),
      pacing_(pacing),
      inbound_(std::max<std::uint32_t>(pacing.baud, 1)),
      outbound_(std::max<std::uint32_t>(pacing.baud, 1)) {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) ThrowErrno("posix_openpt");
  try {
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) ThrowErrno("unlockpt");
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) ThrowErrno("ptsname_r");
    slavePath_ = name;
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) ThrowErrno("open slave");
    try {
      // Echo or line editing on the slave would send the watch's own
      // answers back to it, or change frame bytes.
      MakeRaw(slave);
      if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, slaveHolder_) != 0) {
        ThrowErrno("socketpair");
      }
      SendIntoHolder(slave, slaveHolder_);
    } catch (...) {
      ::close(slave);
      throw;
    }
    ::close(slave);
    // Watched after our own open and close, so only the host's opens count.
    // Closes are watched too: the queue merges an event into an unread one
    // just like it, so opens and closes in turn keep each open apart.
    openNotices_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (openNotices_ >= 0 &&
        ::inotify_add_watch(openNotices_, name, IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
      ::close(openNotices_);
      openNotices_ = -1;
    }
    if (::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK) != 0) ThrowErrno("fcntl");
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC) != 0) ThrowErrno("pipe2");
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    if (faults_.staleAnswer) {
      // The pty keeps it until the host's open flushes or reads it.
      const DeviceFrame stale = CommitAnswerFrame(true);
      if (!WriteAll(stale.bytes.data(), stale.bytes.size())) ThrowErrno("write stale answer");
    }
  } catch (...) {
    for (int& end : slaveHolder_) {
      if (end >= 0) ::close(end);
    }
    ::close(master_);
    throw;
  }
  stopReading_ = faults_.stopReadingAfterBlocks == 0;
  thread_ = std::thread(&DiveWatchSim::Serve, this);
}

DiveWatchSim::~DiveWatchSim() {
  const char stop = kWakeStop;
  while (::write(wakeWrite_, &stop, 1) < 0 && errno == EINTR) {
  }
  thread_.join();
  CloseLine();
  ::close(wakeRead_);
  ::close(wakeWrite_);
  if (openNotices_ >= 0) ::close(openNotices_);
}

std::size_t DiveWatchSim::HostOpens() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (openNotices_ < 0) return hostOpens_;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(openNotices_, buffer, sizeof buffer);
    if (got <= 0) break;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if ((event->mask & IN_OPEN) != 0) ++hostOpens_;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  return hostOpens_;
}

std::vector<DeviceFrame> DiveWatchSim::Frames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::vector<DeviceFrame>(frames_.begin(), frames_.end());
}

bool DiveWatchSim::WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return frames_.size() >= count; });
}

std::optional<LineSchedule::Clock::time_point> DiveWatchSim::FirstFrameAt() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return firstFrameAt_;
}

std::size_t DiveWatchSim::FinishCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return finishCount_;
}

bool DiveWatchSim::WaitForFinish(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return finishCount_ >= count; });
}

std::size_t DiveWatchSim::AcceptedBlocks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return accepted_;
}

std::size_t DiveWatchSim::RefusedBlocks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return refused_;
}

std::size_t DiveWatchSim::CorruptedBlocks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return corrupted_;
}

std::vector<std::uint8_t> DiveWatchSim::Memory(std::uint32_t address, std::size_t size) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return memory_.Read(address, size);
}

std::vector<MemoryRegion> DiveWatchSim::WrittenRegions() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return memory_.WrittenRegions();
}

void DiveWatchSim::OnFinish(std::function<void()> handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  onFinish_ = std::move(handler);
}

void DiveWatchSim::HangUp() {
  const char hangUp = kWakeHangUp;
  while (::write(wakeWrite_, &hangUp, 1) < 0 && errno == EINTR) {
  }
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return hungUp_; });
}

bool DiveWatchSim::HungUp() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return hungUp_;
}

void DiveWatchSim::CloseLine() {
  {
    // Marked before the close: a host that sees the line gone must also
    // see HungUp().
    std::lock_guard<std::mutex> lock(mutex_);
    hungUp_ = true;
  }
  if (master_ >= 0) ::close(master_);
  for (int& end : slaveHolder_) {
    if (end >= 0) ::close(end);
    end = -1;
  }
  master_ = -1;
  std::lock_guard<std::mutex> lock(mutex_);
  changed_.notify_all();
}

// Called with mutex_ held.
bool DiveWatchSim::CorruptsStoreAt(std::uint32_t address) const {
  return faults_.corruptAddress == address && (faults_.corruptAlways || corrupted_ == 0);
}

bool DiveWatchSim::ReadingStopped() const { return stopReading_ || master_ < 0; }

void DiveWatchSim::Serve() {
  for (;;) {
    pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {master_, POLLIN, 0}};
    const nfds_t count = ReadingStopped() ? 1 : 2;
    if (::poll(fds, count, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents != 0) {
      char why = kWakeStop;
      if (::read(wakeRead_, &why, 1) != 1 || why == kWakeStop) return;
      CloseLine();
      continue;
    }
    if (count < 2 || fds[1].revents == 0) continue;
    ReadArrived();
    HandleArrivedFrames();
  }
}

void DiveWatchSim::ReadArrived() {
  std::uint8_t chunk[16 * 1024];
  const ssize_t got = ::read(master_, chunk, sizeof chunk);
  if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (got <= 0) {
    // Cannot happen while the holder keeps the slave open; treat it as a
    // hang-up.
    CloseLine();
    return;
  }
  // On a paced line the bytes just read are still crossing it: each frame
  // is due when its last byte has crossed.
  if (pacing_.baud > 0) {
    const auto readAt = LineSchedule::Clock::now();
    const std::size_t size = static_cast<std::size_t>(got);
    std::size_t offset = 0;
    for (std::size_t need = kFrameSize - pending_.size() % kFrameSize; offset + need <= size;
         offset += need, need = kFrameSize) {
      frameDue_.push_back(inbound_.Carry(readAt, need));
    }
    if (offset < size) inbound_.Carry(readAt, size - offset);
  }
  pending_.erase(pending_.begin(), pending_.begin() + pendingStart_);
  pendingStart_ = 0;
  pending_.insert(pending_.end(), chunk, chunk + got);
}

void DiveWatchSim::HandleArrivedFrames() {
  while (pending_.size() - pendingStart_ >= kFrameSize && !ReadingStopped()) {
    if (pacing_.baud == 0) {
      frameArrived_ = LineSchedule::Clock::now();
    } else if (PauseUntil(frameDue_.front())) {
      frameArrived_ = frameDue_.front();
      frameDue_.pop_front();
    } else {
      return;  // a stop or hang-up is waiting
    }
    DeviceFrame frame;
    std::memcpy(frame.bytes.data(), pending_.data() + pendingStart_, kFrameSize);
    pendingStart_ += kFrameSize;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (frames_.empty()) firstFrameAt_ = frameArrived_;
      frames_.push_back(frame);
      changed_.notify_all();
    }
    HandleFrame(frame);
  }
}

void DiveWatchSim::HandleFrame(const DeviceFrame& frame) {
  if (frame.Is(FrameCommand::Data)) {
    HandleData(frame);
  } else if (frame.Is(FrameCommand::Commit)) {
    HandleCommit(frame);
  } else if (frame.Is(FrameCommand::ReadRequest)) {
    ServeRead(frame);
  } else if (frame.Is(FrameCommand::Finish)) {
    std::function<void()> handler;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++finishCount_;
      handler = onFinish_;
      changed_.notify_all();
    }
    if (handler) handler();
    if (faults_.hangUpAfterFinish) CloseLine();
  }
}

void DiveWatchSim::HandleData(const DeviceFrame& frame) {
  ++framesOfBlock_;
  if (frame.Index() != nextIndex_ || nextIndex_ >= kChunksPerBlock ||
      frame.PayloadSize() != kDataPayloadSize) {
    blockSound_ = false;
  } else {
    std::memcpy(block_.data() + nextIndex_ * kChunkSize, frame.Payload(), kChunkSize);
  }
  ++nextIndex_;
  if (faults_.hangUpInBlock == blockNumber_ && faults_.hangUpAfterFrames == framesOfBlock_) {
    CloseLine();
  }
}

void DiveWatchSim::HandleCommit(const DeviceFrame& frame) {
  ++framesOfBlock_;
  if (faults_.hangUpInBlock == blockNumber_ && faults_.hangUpAfterFrames == framesOfBlock_) {
    CloseLine();
    return;
  }
  const std::uint32_t length = frame.Word(kLengthOffset);
  const bool headSound = frame.Start() == kCommitStart &&
                         frame.PayloadSize() == kCommitPayloadSize && frame.Index() == 0;
  const bool sound = blockSound_ && nextIndex_ == kChunksPerBlock && headSound &&
                     length <= kBlockSize &&
                     frame.Word(kChecksumOffset) == BlockChecksum(block_.data(), block_.size());
  const int number = blockNumber_;
  std::array<std::uint8_t, kBlockSize> received = block_;
  ++blockNumber_;
  framesOfBlock_ = 0;
  nextIndex_ = 0;
  blockSound_ = true;
  block_.fill(0);

  const bool silent =
      faults_.silentFromBlock != DiveWatchFaults::kNever && number >= faults_.silentFromBlock;
  if (silent) return;
  if (faults_.partialAnswerBlock != DiveWatchFaults::kNever &&
      number >= faults_.partialAnswerBlock) {
    if (number == faults_.partialAnswerBlock) {
      const DeviceFrame partial = CommitAnswerFrame(false);
      if (!PauseUntil(LineSchedule::Clock::now() + faults_.piecePause)) return;
      WriteAll(partial.bytes.data(), std::min(faults_.pieceSize, kFrameSize));
    }
    return;
  }
  // Flash writing, which the answer waits for.
  const auto answerAt = frameArrived_ + pacing_.commitDelay;
  if (pacing_.commitDelay.count() > 0 && !PauseUntil(answerAt)) return;
  DeviceFrame answer;
  if (faults_.wrongCommandBlock == number) {
    answer = CommitAnswerFrame(true);
    answer.SetCommand(FrameCommand::Data);  // an acceptance under the wrong command
  } else {
    const bool accepted = sound && faults_.refuseBlock != number;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (accepted) {
        const std::uint32_t address = frame.Word(kAddressOffset);
        if (length > 0 && CorruptsStoreAt(address)) {
          received[length / 2] ^= 0xFF;
          ++corrupted_;
        }
        memory_.Write(address, received.data(), length);
        ++accepted_;
      } else {
        ++refused_;
      }
    }
    answer = CommitAnswerFrame(accepted);
  }
  if (pacing_.baud > 0) {
    PacedWrite(answer.bytes.data(), kFrameSize, answerAt);
  } else {
    Answer(answer.bytes.data(), kFrameSize);
  }
  if (faults_.stopReadingAfterBlocks != DiveWatchFaults::kNever &&
      blockNumber_ >= faults_.stopReadingAfterBlocks) {
    stopReading_ = true;
  }
}

void DiveWatchSim::ServeRead(const DeviceFrame& request) {
  const std::vector<std::uint8_t> data = Memory(request.Word(kAddressOffset), kBlockSize);
  std::array<DeviceFrame, kChunksPerBlock + 1> frames;
  for (std::uint32_t i = 0; i < kChunksPerBlock; ++i) {
    const std::uint32_t index = faults_.readWrongIndexAt == static_cast<int>(i) ? i + 1 : i;
    frames[i] = DataFrame(index, data.data() + i * kChunkSize);
  }
  const std::uint32_t checksum =
      BlockChecksum(data.data(), data.size()) + (faults_.readWrongChecksum ? 1 : 0);
  frames[kChunksPerBlock] = ReadEndFrame(request.Word(kAddressOffset), checksum);
  if (pacing_.baud > 0) {
    PacedWrite(frames[0].bytes.data(), sizeof frames, frameArrived_);
  } else if (faults_.answerInPieces) {
    for (const DeviceFrame& frame : frames) Answer(frame.bytes.data(), kFrameSize);
  } else {
    WriteAll(frames[0].bytes.data(), sizeof frames);
  }
}

void DiveWatchSim::Answer(const std::uint8_t* bytes, std::size_t size) {
  if (!faults_.answerInPieces || size <= faults_.pieceSize) {
    WriteAll(bytes, size);
    return;
  }
  if (!WriteAll(bytes, faults_.pieceSize)) return;
  if (!PauseUntil(LineSchedule::Clock::now() + faults_.piecePause)) return;
  WriteAll(bytes + faults_.pieceSize, size - faults_.pieceSize);
}

void DiveWatchSim::PacedWrite(const std::uint8_t* bytes, std::size_t size,
                              LineSchedule::Clock::time_point handedOver) {
  std::vector<LineSchedule::Clock::time_point> crossed(size);
  for (auto& at : crossed) at = outbound_.Carry(handedOver, 1);
  // Each byte reaches the host once it has crossed; bytes whose time has
  // already come (after a late wake-up) go together.
  for (std::size_t sent = 0; sent < size;) {
    if (!PauseUntil(crossed[sent])) return;
    const auto now = LineSchedule::Clock::now();
    std::size_t ready = sent + 1;
    while (ready < size && crossed[ready] <= now) ++ready;
    if (!WriteAll(bytes + sent, ready - sent)) return;
    sent = ready;
  }
}

bool DiveWatchSim::PauseUntil(LineSchedule::Clock::time_point until) {
  for (;;) {
    const auto left = until - LineSchedule::Clock::now();
    if (left <= LineSchedule::Clock::duration::zero()) return true;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec timeout{static_cast<time_t>(ns / 1'000'000'000),
                           static_cast<long>(ns % 1'000'000'000)};
    // A paced line keeps taking the host's bytes meanwhile, as a UART's
    // receiver does, so the pty never fills and holds the host back.
    pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {master_, POLLIN, 0}};
    const nfds_t count = pacing_.baud > 0 && !ReadingStopped() ? 2 : 1;
    const int n = ::ppoll(fds, count, &timeout, nullptr);
    if (n < 0 && errno != EINTR) return false;
    // A stop or hang-up ends the pause; the serving loop then reads it.
    if (n > 0 && fds[0].revents != 0) return false;
    if (n > 0 && count == 2 && fds[1].revents != 0) {
      ReadArrived();
      if (master_ < 0) return false;
    }
  }
}

bool DiveWatchSim::WriteAll(const std::uint8_t* bytes, std::size_t size) {
  while (size > 0 && master_ >= 0) {
    const ssize_t put = ::write(master_, bytes, size);
    if (put > 0) {
      bytes += put;
      size -= static_cast<std::size_t>(put);
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && errno == EAGAIN) {
      // The host is not reading; wait for room, or for a stop or hang-up.
      pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {master_, POLLOUT, 0}};
      ::poll(fds, 2, -1);
      if (fds[0].revents != 0) return false;  // the serving loop handles it
      continue;
    }
    return false;
  }
  return size == 0;
}

}  // namespace kestrune
