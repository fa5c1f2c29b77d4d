// SerialLink and the bounded transfers on a real pty served by the simulated
// watch.
#include "device/serial_link.h"

#include "device/bounded_transfer.h"
#include "device/line_abandon.h"
#include "tools/dive_watch_sim/dive_watch_sim.h"
#include "transfer/device_frame.h"

#include <boost/asio/error.hpp>
#include <boost/asio/io_service.hpp>
#include <boost/asio/write.hpp>
#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

#include "testing/raised_error.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <termios.h>
#include <thread>
#include <vector>

namespace kestrune {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using testing_support::RaisedBy;
using testing_support::WordOf;

TEST(SerialLinkTest, MissingPathRaisesOpenAndLeavesThePortClosed) {
  boost::asio::io_service io;
  boost::asio::serial_port port(io);
  const auto error = RaisedBy([&] { SerialLink link(port, "/dev/kestrune-no-such-port"); });
  EXPECT_EQ(WordOf(error), "open");
  EXPECT_EQ(error.code().value(), ENOENT);
  EXPECT_FALSE(port.is_open());
}

TEST(SerialLinkTest, SecondOpenOfAHeldPortRaisesOpenAndTheFirstLinkKeepsWorking) {
  DiveWatchSim sim;
  boost::asio::io_service io;
  boost::asio::serial_port first(io);
  SerialLink held(first, sim.SlavePath().c_str());

  boost::asio::serial_port second(io);
  const auto error = RaisedBy([&] { SerialLink again(second, sim.SlavePath().c_str()); });
  EXPECT_EQ(WordOf(error), "open");
  EXPECT_FALSE(second.is_open());

  const DeviceFrame finish = FinishFrame();
  WriteWithin(first, boost::asio::buffer(finish.bytes), 2000ms);
  EXPECT_TRUE(sim.WaitForFinish(1, 2s));
}

TEST(SerialLinkTest, ClosedLinkReleasesThePortForTheNextOne) {
  DiveWatchSim sim;
  boost::asio::io_service io;
  boost::asio::serial_port port(io);
  {
    SerialLink link(port, sim.SlavePath().c_str());
    EXPECT_TRUE(port.is_open());
  }
  EXPECT_FALSE(port.is_open());
  SerialLink next(port, sim.SlavePath().c_str());
  EXPECT_TRUE(port.is_open());
}

TEST(SerialLinkTest, CloseIsExplicitAndRepeatable) {
  DiveWatchSim sim;
  boost::asio::io_service io;
  boost::asio::serial_port port(io);
  SerialLink link(port, sim.SlavePath().c_str());
  link.Close();
  EXPECT_FALSE(port.is_open());
  EXPECT_NO_THROW(link.Close());
}

TEST(SerialLinkTest, LineIs9600EightNoneOneWithoutFlowControlAndTransparent) {
  DiveWatchSim sim;
  boost::asio::io_service io;
  boost::asio::serial_port port(io);
  // Start from a cooked line with flow control, as a terminal would be.
  {
    SerialLink setup(port, sim.SlavePath().c_str());
    termios ios;
    ASSERT_EQ(tcgetattr(port.native_handle(), &ios), 0);
    ios.c_iflag |= IXON | IXOFF | IXANY | ICRNL | INLCR;
    ios.c_oflag |= OPOST | ONLCR;
    ios.c_lflag |= ICANON | ECHO | ISIG;
    ios.c_cflag |= PARENB | CSTOPB | CRTSCTS;
    cfsetspeed(&ios, B115200);
    ASSERT_EQ(tcsetattr(port.native_handle(), TCSANOW, &ios), 0);
  }

  SerialLink link(port, sim.SlavePath().c_str());
  termios ios;
  ASSERT_EQ(tcgetattr(port.native_handle(), &ios), 0);
  EXPECT_EQ(cfgetospeed(&ios), B9600);
  EXPECT_EQ(cfgetispeed(&ios), B9600);
  EXPECT_EQ(ios.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(ios.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(ios.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
  EXPECT_EQ(ios.c_oflag & OPOST, 0u);
  EXPECT_EQ(ios.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
}

TEST(SerialLinkTest, BytesThatArriveBeforeTheReadAreNotLost) {
  DiveWatchSim sim;
  boost::asio::io_service io;
  boost::asio::serial_port port(io);
  SerialLink link(port, sim.SlavePath().c_str());

  // A whole block of zeros and its commit, written raw; the watch answers at once.
  const std::vector<std::uint8_t> zeros(kBlockSize, 0);
  const BlockWriteFrames frames = WriteBlockFrames(0, zeros.data(), kBlockSize);
  WriteWithin(port, boost::asio::buffer(frames.data(), sizeof frames), 2000ms);
  ASSERT_TRUE(sim.WaitForFrames(kChunksPerBlock + 1, 2s));
  std::this_thread::sleep_for(100ms);  // the answer is now waiting in the line

  DeviceFrame answer;
  EXPECT_EQ(ReadWithin(port, boost::asio::buffer(answer.bytes), 2000ms), kFrameSize);
  EXPECT_TRUE(answer.Is(FrameCommand::CommitAnswer));
  EXPECT_EQ(answer.Word(kAcceptedOffset), 1u);
}

TEST(BoundedTransferTest, ReadOfASilentLineRaisesTimedOutNearTheBound) {
  DiveWatchSim sim;
  boost::asio::io_service io;
  boost::asio::serial_port port(io);
  SerialLink link(port, sim.SlavePath().c_str());
  std::uint8_t bytes[kFrameSize];
  const auto started = Clock::now();
  const auto error = RaisedBy([&] { ReadWithin(port, boost::asio::buffer(bytes), 250ms); });
  const auto waited = Clock::now() - started;
  EXPECT_EQ(error.code(), boost::asio::error::timed_out);
  EXPECT_EQ(WordOf(error), "read");
  EXPECT_GE(waited, 250ms);
  EXPECT_LT(waited, 2s);
}

// A watch whose line is slower than, as fast as and faster than the 9600
// baud the link sets: its answer reaches the host byte by byte, and the
// reads that sleep out the rest of an answer must still hand over every
// byte, in order, whether the answer begins before or during the read.
TEST(BoundedTransferTest, AnswerOfAPacedLineIsReadWholeAndInOrder) {
  const std::vector<std::uint8_t> unwritten(kChunkSize, 0xFF);
  for (const std::uint32_t baud : {4800u, 9600u, 115200u}) {
    DiveWatchSim sim({}, {baud, 0ms});
    boost::asio::io_service io;
    boost::asio::serial_port port(io);
    SerialLink link(port, sim.SlavePath().c_str());
    const DeviceFrame request = ReadRequestFrame(0x3000, kBlockSize);
    WriteWithin(port, boost::asio::buffer(request.bytes), 2000ms);

    // Frame by frame, as the protocol reads them...
    std::uint32_t index = 0;
    for (; index < 3; ++index) {
      DeviceFrame frame;
      ASSERT_EQ(ReadWithin(port, boost::asio::buffer(frame.bytes), 2000ms), kFrameSize);
      EXPECT_EQ(frame.bytes, DataFrame(index, unwritten.data()).bytes)
          << baud << " baud, frame " << index;
    }
    // ...and several frames in one read.
    std::array<DeviceFrame, 3> frames;
    ASSERT_EQ(ReadWithin(port, boost::asio::buffer(frames.data(), sizeof frames), 2000ms),
              sizeof frames);
    for (const DeviceFrame& frame : frames) {
      EXPECT_EQ(frame.bytes, DataFrame(index, unwritten.data()).bytes)
          << baud << " baud, frame " << index;
      ++index;
    }
  }
}

TEST(BoundedTransferTest, ReadOfAPacedAnswerLongerThanTheBoundRaisesTimedOut) {
  // Twenty frames of a served read take 0.83 s at 9600 baud; sleeping out
  // the time the rest of them needs must not carry the read past its bound.
  DiveWatchSim sim({}, {9600, 0ms});
  boost::asio::io_service io;
  boost::asio::serial_port port(io);
  SerialLink link(port, sim.SlavePath().c_str());
  const DeviceFrame request = ReadRequestFrame(0, kBlockSize);
  WriteWithin(port, boost::asio::buffer(request.bytes), 2000ms);
  std::vector<std::uint8_t> answer(20 * kFrameSize);
  const auto error = RaisedBy([&] { ReadWithin(port, boost::asio::buffer(answer), 300ms); });
  EXPECT_EQ(error.code(), boost::asio::error::timed_out);
  EXPECT_EQ(WordOf(error), "read");
}

TEST(BoundedTransferTest, WriteToALineNobodyReadsRaisesTimedOut) {
  DiveWatchFaults faults;
  faults.stopReadingAfterBlocks = 0;
  DiveWatchSim sim(faults);
  boost::asio::io_service io;
  boost::asio::serial_port port(io);
  SerialLink link(port, sim.SlavePath().c_str());
  // Far more than a pty buffers.
  const std::vector<std::uint8_t> flood(4 << 20, 0x42);
  const auto started = Clock::now();
  const auto error = RaisedBy([&] { WriteWithin(port, boost::asio::buffer(flood), 300ms); });
  EXPECT_EQ(error.code(), boost::asio::error::timed_out);
  EXPECT_EQ(WordOf(error), "write");
  EXPECT_LT(Clock::now() - started, 3s);
}

TEST(BoundedTransferTest, HungUpLineRaisesEndOfFileOnRead) {
  DiveWatchSim sim;
  boost::asio::io_service io;
  boost::asio::serial_port port(io);
  SerialLink link(port, sim.SlavePath().c_str());
  sim.HangUp();
  std::uint8_t bytes[kFrameSize];
  const auto error = RaisedBy([&] { ReadWithin(port, boost::asio::buffer(bytes), 2000ms); });
  EXPECT_EQ(WordOf(error), "read");
  EXPECT_NE(error.code(), boost::asio::error::timed_out);
}

// A watch that left the device tree while its run waits for an answer: the
// wait ends when the line is abandoned, long before its bound, and a
// transfer begun afterwards ends at once; another thread's line is not
// touched.
TEST(BoundedTransferTest, AbandonedLineEndsTheWaitingReadAtOnce) {
  DiveWatchSim sim;
  boost::asio::io_service io;
  boost::asio::serial_port port(io);
  SerialLink link(port, sim.SlavePath().c_str());
  LineAbandon abandon;
  boost::system::system_error error(boost::system::error_code{});
  Clock::duration waited{};
  std::thread writer([&] {
    const LineAbandon::ThreadScope scope(abandon);
    std::uint8_t bytes[kFrameSize];
    const auto started = Clock::now();
    error = RaisedBy([&] { ReadWithin(port, boost::asio::buffer(bytes), 10000ms); });
    waited = Clock::now() - started;
  });
  std::this_thread::sleep_for(200ms);
  abandon.Signal();
  writer.join();
  EXPECT_EQ(error.code(), boost::asio::error::operation_aborted);
  EXPECT_EQ(WordOf(error), "read");
  EXPECT_LT(waited, 2s);

  std::thread again([&] {
    const LineAbandon::ThreadScope scope(abandon);
    const DeviceFrame frame{};
    error = RaisedBy([&] { WriteWithin(port, boost::asio::buffer(frame.bytes), 1000ms); });
  });
  again.join();
  EXPECT_EQ(WordOf(error), "write");
  EXPECT_EQ(error.code(), boost::asio::error::operation_aborted);
  // This thread has no scope: its transfers go on.
  const DeviceFrame frame{};
  EXPECT_EQ(WriteWithin(port, boost::asio::buffer(frame.bytes), 1000ms), kFrameSize);
}

}  // namespace
}  // namespace kestrune
