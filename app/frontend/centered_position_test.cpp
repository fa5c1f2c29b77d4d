#include "app/frontend/centered_position.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

struct PlacementCase {
  const char* name;
  long width, height;
  ScreenRect centerIn, workArea;
  ScreenPoint expected;
};

class CenteredPositionTest : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(CenteredPositionTest, PlacesWindow) {
  const PlacementCase& c = GetParam();
  ScreenPoint at = CenteredPosition(c.width, c.height, c.centerIn, c.workArea);
  EXPECT_EQ(at.x, c.expected.x);
  EXPECT_EQ(at.y, c.expected.y);
}

const ScreenRect kScreen{0, 0, 1280, 1024};

INSTANTIATE_TEST_SUITE_P(
    Cases, CenteredPositionTest,
    ::testing::Values(
        PlacementCase{"CentredInWorkArea", 330, 297, kScreen, kScreen, {475, 364}},
        // Odd sizes: each half is truncated on its own.
        PlacementCase{"OddSizes", 331, 299, kScreen, kScreen, {475, 363}},
        // A task bar along the top moves the centre down.
        PlacementCase{
            "WorkAreaBelowTaskBar", 330, 300, {0, 40, 1280, 1024}, {0, 40, 1280, 1024}, {475, 382}},
        // A monitor left of the primary one: (-1281 + 0) / 2 truncates to -640.
        PlacementCase{"NegativeCoordinatesTruncateTowardZero",
                      331,
                      300,
                      {-1281, 0, 0, 1024},
                      {-1281, 0, 0, 1024},
                      {-805, 362}},
        // Larger than the work area: aligned to its left and top edges.
        PlacementCase{"LargerThanWorkArea", 1400, 1100, kScreen, kScreen, {0, 0}},
        PlacementCase{"WiderOnly", 1400, 300, kScreen, kScreen, {0, 362}},
        // Centred over an owner near the right edge: pushed back inside.
        PlacementCase{"OwnerNearRightEdge", 300, 200, {1100, 100, 1300, 300}, kScreen, {980, 100}},
        // Centred over an owner near the top-left corner: pushed back inside.
        PlacementCase{"OwnerNearTopLeft", 200, 200, {-50, -50, 50, 50}, kScreen, {0, 0}},
        // Centred over an owner well inside the work area: stays centred on it.
        PlacementCase{"OwnerInside", 100, 50, {200, 200, 400, 300}, kScreen, {250, 225}}),
    [](const ::testing::TestParamInfo<PlacementCase>& info) { return info.param.name; });

}  // namespace
}  // namespace kestrune
