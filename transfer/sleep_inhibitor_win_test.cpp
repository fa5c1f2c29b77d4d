// The thread's execution state while an inhibitor lives and after it.
#include "transfer/sleep_inhibitor.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace kestrune {
namespace {

// The state the thread asks for now; asking for the same again changes nothing.
EXECUTION_STATE CurrentRequest(EXECUTION_STATE sameAsNow) {
  return SetThreadExecutionState(sameAsNow);
}

TEST(SleepInhibitorWin, AsksToStayAwakeAndRestoresThePreviousRequest) {
  SetThreadExecutionState(ES_CONTINUOUS);  // a thread that asks for nothing
  {
    SleepInhibitor inhibitor("Writing firmware to the dive watch");
    ASSERT_TRUE(inhibitor.Held());
    const EXECUTION_STATE during = CurrentRequest(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    EXPECT_EQ(during & (ES_CONTINUOUS | ES_SYSTEM_REQUIRED),
              static_cast<EXECUTION_STATE>(ES_CONTINUOUS | ES_SYSTEM_REQUIRED));
  }
  const EXECUTION_STATE after = CurrentRequest(ES_CONTINUOUS);
  EXPECT_EQ(after & ES_SYSTEM_REQUIRED, 0u);
}

}  // namespace
}  // namespace kestrune
