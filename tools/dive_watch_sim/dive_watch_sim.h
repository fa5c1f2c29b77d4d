// A simulated dive watch on a pseudo-terminal, for tests and demos.
//
// The simulator owns the master side of a pty and serves the frame protocol
// of transfer/device_frame.h on a thread of its own; the host opens
// SlavePath() as its serial port (under Wine, through a COM link to it).
//
// What the watch does with the frames it receives:
// - Data frames (command 5) are collected into the block in progress; each
//   must carry payloadSize 32 and the next index, 0 to 127 in order.
// - A commit (AA 0C 03 00, index 0) is accepted when the block had all 128
//   data frames in order, its checksum equals the sum of the 4096 bytes
//   received, and its length is at most 4096. The first `length` bytes are
//   then stored at its address and the watch answers CommitAnswer with
//   accepted 1; otherwise it stores nothing and answers accepted 0. Either
//   way the next data frame starts a new block.
// - A read request (command 1) is answered with 128 data frames of the 4096
//   bytes at its address (never-written bytes read 0xFF) and a ReadEnd frame
//   whose bytes 16-19 hold their checksum.
//   A corrupting fault (below) changes one stored byte of a block it names
//   and still answers accepted 1, as flash that fails after the write would.
// - A finish frame (command 0x9999) is counted; nothing is sent back.
// - Any other frame is only recorded.
// Every frame received is recorded in arrival order.
//
// The slave stays open for as long as the line is up (so the host's close
// never leaves the master reading end of file) without being among this
// process's descriptors: like a real watch's port, the pty is then held by
// no program but the host that opens it.
//
// Blocks are numbered 0, 1, 2, ... in the order their commits arrive (read
// requests do not count); the faults below name blocks by that number.
#pragma once

#include "tools/dive_watch_sim/line_schedule.h"
#include "tools/dive_watch_sim/sparse_memory.h"
#include "transfer/device_frame.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kestrune {

// Ways the simulated watch can misbehave. kNever leaves a fault off.
struct DiveWatchFaults {
  static constexpr int kNever = -1;

  // Answers this block's commit with accepted 0 and stores nothing.
  int refuseBlock = kNever;
  // Answers this block's commit with command 5 (Data) and accepted 1; stores
  // nothing.
  int wrongCommandBlock = kNever;
  // From this block on, keeps reading and recording but never answers a
  // commit and stores nothing.
  int silentFromBlock = kNever;
  // Hangs up (closes the pty) after receiving `hangUpAfterFrames` frames of
  // this block: 1 to 128 counts data frames, 129 means after the commit, in
  // place of the answer.
  int hangUpInBlock = kNever;
  int hangUpAfterFrames = 0;
  // Hangs up once a finish frame has arrived, as a watch that restarts into
  // its new firmware drops off the bus.
  bool hangUpAfterFinish = false;
  // Stops reading altogether once this many blocks are answered, so the
  // host's writes fill the pty and then block. 0 stops at once.
  int stopReadingAfterBlocks = kNever;
  // Sends every answer frame in two pieces: the first `pieceSize` bytes,
  // a pause of `piecePause`, then the rest.
  bool answerInPieces = false;
  std::size_t pieceSize = 16;
  std::chrono::milliseconds piecePause{5};
  // Answers this block's commit with only its first `pieceSize` bytes, sent
  // after `piecePause`, stores nothing, and never answers again.
  int partialAnswerBlock = kNever;
  // In served reads, data frame number k carries index k + 1.
  int readWrongIndexAt = kNever;
  // In served reads, the ReadEnd checksum is one more than the true sum.
  bool readWrongChecksum = false;
  // Leaves one accepting commit answer on the line before the host opens
  // it, as the late answer of an earlier run's slow watch would be.
  bool staleAnswer = false;
  // Stores the block committed at this address with its middle byte
  // inverted, while answering accepted 1: only its first accepted write, so
  // the next write of the block stores it right, or with `corruptAlways`
  // every write of it.
  std::optional<std::uint32_t> corruptAddress;
  bool corruptAlways = false;

  // One misbehaviour each, for test tables.
  static DiveWatchFaults Refuse(int block) {
    DiveWatchFaults f;
    f.refuseBlock = block;
    return f;
  }
  static DiveWatchFaults WrongCommand(int block) {
    DiveWatchFaults f;
    f.wrongCommandBlock = block;
    return f;
  }
  static DiveWatchFaults SilentFrom(int block) {
    DiveWatchFaults f;
    f.silentFromBlock = block;
    return f;
  }
  static DiveWatchFaults StopReadingAfter(int blocks) {
    DiveWatchFaults f;
    f.stopReadingAfterBlocks = blocks;
    return f;
  }
  static DiveWatchFaults HangUpIn(int block, int afterFrames) {
    DiveWatchFaults f;
    f.hangUpInBlock = block;
    f.hangUpAfterFrames = afterFrames;
    return f;
  }
  static DiveWatchFaults HangUpAfterFinish() {
    DiveWatchFaults f;
    f.hangUpAfterFinish = true;
    return f;
  }
  static DiveWatchFaults StaleAnswerThenRefuse(int block) {
    DiveWatchFaults f = Refuse(block);
    f.staleAnswer = true;
    return f;
  }
  static DiveWatchFaults CorruptOnce(std::uint32_t address) {
    DiveWatchFaults f;
    f.corruptAddress = address;
    return f;
  }
  static DiveWatchFaults CorruptAlways(std::uint32_t address) {
    DiveWatchFaults f = CorruptOnce(address);
    f.corruptAlways = true;
    return f;
  }
  static DiveWatchFaults InPieces(std::chrono::milliseconds pause) {
    DiveWatchFaults f;
    f.answerInPieces = true;
    f.piecePause = pause;
    return f;
  }
};

// How fast the simulated watch's line and flash are. The defaults are as
// fast as the pty: no pacing, no flash time.
struct DiveWatchPacing {
  // Above 0: every byte in either direction takes as long as on a UART at
  // this many baud, 8N1 (10 bit times). A frame is handled once its last
  // byte has crossed; answer bytes reach the host one by one as they cross.
  std::uint32_t baud = 0;
  // Flash writing: each commit is answered this long after it has arrived.
  std::chrono::milliseconds commitDelay{0};
};

class DiveWatchSim {
 public:
  // Opens a pty (raw on both sides, so bytes pass unchanged) and starts
  // serving at once. Throws std::system_error when no pty can be had.
  explicit DiveWatchSim(DiveWatchFaults faults = {}, DiveWatchPacing pacing = {});

  // Stops serving and closes the pty.
  ~DiveWatchSim();

  DiveWatchSim(const DiveWatchSim&) = delete;
  DiveWatchSim& operator=(const DiveWatchSim&) = delete;

  // The slave device the host opens, e.g. "/dev/pts/7".
  const std::string& SlavePath() const { return slavePath_; }

  // Every frame received so far, in arrival order.
  std::vector<DeviceFrame> Frames() const;

  // Waits until at least `count` frames have arrived; false on time-out.
  bool WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const;

  // When the first frame had crossed the line (on a paced line, when its
  // last byte had; otherwise when it was read); empty before any frame.
  std::optional<LineSchedule::Clock::time_point> FirstFrameAt() const;

  // Number of finish frames received so far.
  std::size_t FinishCount() const;

  // Waits until at least `count` finish frames have arrived; false on time-out.
  bool WaitForFinish(std::size_t count, std::chrono::milliseconds timeout) const;

  // Number of commits answered with accepted 1 / accepted 0 so far.
  std::size_t AcceptedBlocks() const;
  std::size_t RefusedBlocks() const;
  // Number of blocks a corrupting fault stored changed so far.
  std::size_t CorruptedBlocks() const;

  // `size` bytes of the watch's memory from `address`; unwritten bytes 0xFF.
  std::vector<std::uint8_t> Memory(std::uint32_t address, std::size_t size) const;

  // Every run of written memory, by ascending address.
  std::vector<MemoryRegion> WrittenRegions() const;

  // Called on the simulator's thread after each finish frame was recorded
  // (e.g. to dump memory). Set it before the host starts talking.
  void OnFinish(std::function<void()> handler);

  // How many times the pty's device was opened since the simulator started
  // (its own open not counted): on a real port every open and close toggles
  // the watch's modem lines. Counted from the file system's notices.
  std::size_t HostOpens() const;

  // Hangs up now: closes the pty, as a watch pulled from the cable would.
  void HangUp();

  // True once the pty is closed (by HangUp, a hang-up fault or destruction).
  bool HungUp() const;

 private:
  void Serve();
  void ReadArrived();
  void HandleArrivedFrames();
  void HandleFrame(const DeviceFrame& frame);
  void HandleData(const DeviceFrame& frame);
  void HandleCommit(const DeviceFrame& frame);
  void ServeRead(const DeviceFrame& frame);
  void Answer(const std::uint8_t* bytes, std::size_t size);
  void PacedWrite(const std::uint8_t* bytes, std::size_t size,
                  LineSchedule::Clock::time_point handedOver);
  bool PauseUntil(LineSchedule::Clock::time_point until);
  bool WriteAll(const std::uint8_t* bytes, std::size_t size);
  bool CorruptsStoreAt(std::uint32_t address) const;
  bool ReadingStopped() const;
  void CloseLine();

  const DiveWatchFaults faults_;
  const DiveWatchPacing pacing_;
  // The two directions of the line, host to watch and watch to host.
  LineSchedule inbound_;
  LineSchedule outbound_;
  // Bytes read, those before pendingStart_ already handled, and on a paced
  // line when each whole frame not yet handled has crossed it (simulator
  // thread only). Handled bytes leave the buffer once per read rather than
  // frame by frame, so a block costs the same however the pty cuts it up.
  std::vector<std::uint8_t> pending_;
  std::size_t pendingStart_ = 0;
  std::deque<LineSchedule::Clock::time_point> frameDue_;
  // When the frame being handled crossed the line.
  LineSchedule::Clock::time_point frameArrived_{};
  std::string slavePath_;
  int master_ = -1;
  // A socket pair with the slave's descriptor in flight on it, sent and
  // never received: the slave stays open while no descriptor table lists it.
  int slaveHolder_[2] = {-1, -1};
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  int openNotices_ = -1;  // inotify on the slave path; -1 when not to be had
  mutable std::size_t hostOpens_ = 0;  // counted so far, under mutex_

  // Block in progress (simulator thread only).
  std::array<std::uint8_t, kBlockSize> block_{};
  std::uint32_t nextIndex_ = 0;
  bool blockSound_ = true;
  int blockNumber_ = 0;
  int framesOfBlock_ = 0;
  bool stopReading_ = false;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<DeviceFrame> frames_;  // grows without moving what it holds
  std::optional<LineSchedule::Clock::time_point> firstFrameAt_;
  SparseMemory memory_;
  std::size_t finishCount_ = 0;
  std::size_t accepted_ = 0;
  std::size_t refused_ = 0;
  std::size_t corrupted_ = 0;
  bool hungUp_ = false;
  std::function<void()> onFinish_;

  std::thread thread_;
};

}  // namespace kestrune
