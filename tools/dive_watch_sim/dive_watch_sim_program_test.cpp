// The dive-watch-sim program as other tests use it: started as a process,
// driven over its pty, dumps read back from disk.
#include "device/serial_link.h"
#include "transfer/device_protocol.h"

#include <boost/asio/io_service.hpp>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace kestrune {
namespace {

using namespace std::chrono_literals;

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WaitForFile(const std::string& path, std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (access(path.c_str(), F_OK) != 0) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// One running dive-watch-sim with its slave path read from its stdout.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    args.insert(args.begin(), DIVE_WATCH_SIM_PROGRAM);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    FILE* stream = fdopen(out[0], "r");
    char line[256] = {};
    if (fgets(line, sizeof line, stream) != nullptr) {
      path_ = line;
      if (!path_.empty() && path_.back() == '\n') path_.pop_back();
    }
    fclose(stream);
  }

  ~SimProcess() {
    if (pid_ > 0) Stop();
  }

  const std::string& Path() const { return path_; }

  // Sends SIGTERM and returns the exit status.
  int Stop() {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_ = -1;
  std::string path_;
};

class DiveWatchSimProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/dive-watch-sim-test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string dir_;
};

std::vector<std::uint8_t> Image(std::size_t size, unsigned seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 + seed);
  return bytes;
}

TEST_F(DiveWatchSimProgramTest, DumpsWrittenMemoryWhenTheFinishFrameArrives) {
  const std::string dump = dir_ + "/memory.bin";
  const std::string frames = dir_ + "/frames.bin";
  SimProcess sim({"--dump", dump, "--dump-dir", dir_, "--frames", frames});
  ASSERT_EQ(sim.Path().rfind("/dev/pts/", 0), 0u) << sim.Path();

  const auto first = Image(5000, 1);  // two blocks, the second 904 bytes long
  const auto second = Image(100, 2);
  {
    boost::asio::io_service io;
    boost::asio::serial_port port(io);
    SerialLink link(port, sim.Path().c_str());
    DeviceProtocol protocol(&port, 5000ms);
    ASSERT_TRUE(protocol.WriteBlock(0x10000, first.data(), kBlockSize));
    ASSERT_TRUE(protocol.WriteBlock(0x11000, first.data() + kBlockSize, 904));
    ASSERT_TRUE(protocol.WriteBlock(0x10000 + 5000 + 2, second.data(), 100));
    protocol.SendFinish();
  }
  ASSERT_TRUE(WaitForFile(frames, 5s));

  EXPECT_EQ(ReadFile(dir_ + "/00010000.bin"), first);
  EXPECT_EQ(ReadFile(dir_ + "/0001138a.bin"), second);
  // One file from the lowest to the highest written address; the two-byte
  // gap reads as erased flash.
  std::vector<std::uint8_t> whole = first;
  whole.push_back(0xFF);
  whole.push_back(0xFF);
  whole.insert(whole.end(), second.begin(), second.end());
  EXPECT_EQ(ReadFile(dump), whole);
  EXPECT_EQ(ReadFile(frames).size(), (3 * (kChunksPerBlock + 1) + 1) * kFrameSize);

  const int status = sim.Stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(DiveWatchSimProgramTest, DumpsAtExitWithoutAFinishFrame) {
  const std::string dump = dir_ + "/memory.bin";
  SimProcess sim({"--dump", dump});
  const auto image = Image(kBlockSize, 3);
  {
    boost::asio::io_service io;
    boost::asio::serial_port port(io);
    SerialLink link(port, sim.Path().c_str());
    DeviceProtocol protocol(&port, 5000ms);
    ASSERT_TRUE(protocol.WriteBlock(0x20000, image.data(), kBlockSize));
  }
  EXPECT_NE(access(dump.c_str(), F_OK), 0);
  const int status = sim.Stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ReadFile(dump), image);
}

TEST_F(DiveWatchSimProgramTest, MisbehaviourOptionsReachTheWatch) {
  SimProcess sim({"--refuse-block", "1"});
  boost::asio::io_service io;
  boost::asio::serial_port port(io);
  SerialLink link(port, sim.Path().c_str());
  DeviceProtocol protocol(&port, 5000ms);
  const auto image = Image(kBlockSize, 4);
  EXPECT_TRUE(protocol.WriteBlock(0, image.data(), kBlockSize));
  EXPECT_FALSE(protocol.WriteBlock(kBlockSize, image.data(), kBlockSize));
}

TEST_F(DiveWatchSimProgramTest, UnknownOptionExitsWithUsage) {
  SimProcess sim({"--no-such-option"});
  EXPECT_TRUE(sim.Path().empty());
  const int status = sim.Stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
}

}  // namespace
}  // namespace kestrune
