#include "screen_layout.h"

#include <gtest/gtest.h>

namespace pelmode {
namespace {

TEST(ScreenLayoutTest, ScreenIsTheBoundingBoxOfTheAreas) {
  const std::vector<Area> pair = {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
  EXPECT_EQ(BoundingScreen(pair), (ScreenSize{3200, 1080}));
  EXPECT_EQ(BoundingScreen(ResizeArea(pair, 1, 800, 600)),
            (ScreenSize{2720, 1080}));
  EXPECT_EQ(BoundingScreen(ResizeArea(pair, 0, 1024, 1280)),
            (ScreenSize{3200, 1280}));
  EXPECT_EQ(BoundingScreen({{0, 0, 0, 0}, {100, 50, 640, 480}}),
            (ScreenSize{740, 530}));
  EXPECT_EQ(BoundingScreen({}), (ScreenSize{0, 0}));
}

TEST(ScreenLayoutTest, CoveringScreenHoldsBothLayouts) {
  EXPECT_EQ(CoveringScreen({1024, 768}, {1280, 720}), (ScreenSize{1280, 768}));
  EXPECT_EQ(CoveringScreen({1920, 1080}, {800, 600}), (ScreenSize{1920, 1080}));
}

TEST(ScreenLayoutTest, PhysicalSizeKeepsTheDpi) {
  EXPECT_EQ(MillimetresAtSameDpi(1024, 2048, 542), 271u);
  EXPECT_EQ(MillimetresAtSameDpi(1000, 3, 1), 333u);
  EXPECT_EQ(MillimetresAtSameDpi(1001, 2, 1), 501u);  // 500.5 rounds up
  EXPECT_EQ(MillimetresAtSameDpi(1024, 0, 270), 0u);
  EXPECT_EQ(MillimetresAtSameDpi(32767, 32767, UINT32_MAX), UINT32_MAX);
}

}  // namespace
}  // namespace pelmode
