#include "screen_layout.h"

#include <gtest/gtest.h>

namespace pelmode {
namespace {

TEST(ScreenLayoutTest, NeighboursMoveAsideAndComeBack) {
  struct Case {
    const char* what;
    std::vector<Area> before;
    std::vector<Area> after;  // the first area changed to 1024x768
  };
  const Area kOff{};  // a CRTC that shows nothing
  const Case cases[] = {
      {"alone", {{0, 0, 1920, 1080}}, {{0, 0, 1024, 768}}},
      {"neighbour to the right",
       {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}},
       {{0, 0, 1024, 768}, {1024, 0, 1280, 1024}}},
      {"neighbour to the left stays",
       {{1280, 0, 1920, 1080}, {0, 0, 1280, 1024}},
       {{1280, 0, 1024, 768}, {0, 0, 1280, 1024}}},
      {"neighbour below",
       {{0, 0, 1920, 1080}, {0, 1080, 1280, 1024}},
       {{0, 0, 1024, 768}, {0, 768, 1280, 1024}}},
      {"neighbour above stays",
       {{0, 1024, 1920, 1080}, {0, 0, 1280, 1024}},
       {{0, 1024, 1024, 768}, {0, 0, 1280, 1024}}},
      {"row of three, middle changed",
       {{1280, 0, 1920, 1080}, {0, 0, 1280, 1024}, {3200, 0, 800, 600}},
       {{1280, 0, 1024, 768}, {0, 0, 1280, 1024}, {2304, 0, 800, 600}}},
      {"diagonal neighbour moves both ways",
       {{0, 0, 1920, 1080}, {1920, 1080, 800, 600}},
       {{0, 0, 1024, 768}, {1024, 768, 800, 600}}},
      {"overlapping clone stays",
       {{0, 0, 1920, 1080}, {0, 0, 1920, 1080}},
       {{0, 0, 1024, 768}, {0, 0, 1920, 1080}}},
      {"CRTC that shows nothing stays", {{0, 0, 1920, 1080}, kOff},
       {{0, 0, 1024, 768}, kOff}},
  };
  for (const Case& c : cases) {
    const std::vector<Area> after = ResizedLayout(c.before, 0, 1024, 768);
    EXPECT_EQ(after, c.after) << c.what;
    const Area& original = c.before[0];
    EXPECT_EQ(ResizedLayout(after, 0, original.width_px, original.height_px),
              c.before)
        << c.what << ": the change back";
  }
}

TEST(ScreenLayoutTest, ScreenIsTheBoundingBoxOfTheAreas) {
  EXPECT_EQ(BoundingScreen({{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}}),
            (ScreenSize{3200, 1080}));
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
