// Holders of a pty found as they would be of a watch's port: another
// process with the port on a descriptor, looked up by the port's path or
// through a link to it.
#include "device/port_holders.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testing/child_program.h"
#include "testing/temp_folder.h"
#include "tools/dive_watch_sim/dive_watch_sim.h"

namespace kestrune {
namespace {
using testing_support::ChildProgram;
using testing_support::TempFolder;

// `sleep` with `node` open on descriptor 3; its first line is its pid.
std::unique_ptr<ChildProgram> SleepHolding(const std::string& node) {
  return std::make_unique<ChildProgram>(
      std::vector<std::string>{"/bin/sh", "-c", "exec 3<>\"$0\"; echo $$; exec sleep 60", node});
}

TEST(PortHolders, AnotherProcessWithThePortOpenIsFoundWithItsName) {
  struct Case {
    const char* name;
    bool holderOpensThePort;    // otherwise another pty
    bool lookedUpThroughALink;  // as /dev/serial/by-id/... names a port
    bool expectHolder;
  };
  const Case cases[] = {
      {"HeldByPath", true, false, true},
      {"HeldThroughALink", true, true, true},
      {"OtherPortHeld", false, false, false},
  };
  for (const Case& c : cases) {
    DiveWatchSim port, other;
    TempFolder links("links");
    const std::string link = (links.path() / "usb-orvel_Kestrune_KW-2001-if00").string();
    std::filesystem::create_symlink(port.SlavePath(), link);
    // This process holds the port too: it never counts.
    const int own = ::open(port.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(own, 0);

    const auto holder = SleepHolding(c.holderOpensThePort ? port.SlavePath() : other.SlavePath());
    const std::vector<PortHolder> holders =
        OtherPortHolders(c.lookedUpThroughALink ? link : port.SlavePath());
    ::close(own);

    if (!c.expectHolder) {
      EXPECT_TRUE(holders.empty()) << c.name << ": " << DescribePortHolders(holders);
      continue;
    }
    ASSERT_EQ(holders.size(), 1u) << c.name << ": " << DescribePortHolders(holders);
    EXPECT_EQ(std::to_string(holders[0].pid), holder->FirstLine()) << c.name;
    EXPECT_EQ(holders[0].name, "sleep") << c.name;
    EXPECT_EQ(DescribePortHolders(holders), "pid " + holder->FirstLine() + " (sleep)") << c.name;
  }
}

TEST(PortHolders, APortNobodyElseHoldsHasNone) {
  DiveWatchSim port;
  EXPECT_TRUE(OtherPortHolders(port.SlavePath()).empty());
  EXPECT_TRUE(OtherPortHolders("/nonexistent/ttyACM9").empty());
}

}  // namespace
}  // namespace kestrune
