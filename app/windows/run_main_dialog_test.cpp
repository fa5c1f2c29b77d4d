// This program links no dialog template: the main dialog cannot be
// created, and the run ends at once with exit code 0.
#include "app/windows/run_main_dialog.h"

#include <gtest/gtest.h>

#include "app/windows/framework/app_module.h"

namespace kestrune {
namespace {

TEST(RunMainDialogTest, WithoutItsTemplateTheRunEndsWithExitCodeZero) {
  appModule.Init(GetModuleHandleW(nullptr));
  bool workersLeft = true;
  EXPECT_EQ(RunMainDialog(nullptr, SW_SHOWNORMAL, workersLeft), 0);
  EXPECT_FALSE(workersLeft);
  appModule.Term();
}

}  // namespace
}  // namespace kestrune
