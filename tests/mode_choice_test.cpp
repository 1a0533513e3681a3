#include "mode_choice.h"

#include <gtest/gtest.h>

namespace pelmode {
namespace {

TEST(RefreshRateTest, FollowsTheScanOfTheMode) {
  const std::pair<ModeTiming, std::uint32_t> cases[] = {
      {{148500000, 2200, 1125, false, false}, 60},  // 1080p60
      {{119, 1, 2, false, false}, 60},              // 59.5 rounds half up
      {{74250000, 2200, 1125, true, false}, 60},    // 1080i: twice the fields
      {{25175000, 800, 525, false, true}, 30},      // double scan: half the frames
      {{25175000, 800, 525, true, true}, 60},       // both cancel out
      {{65000000, 0, 806, false, false}, 0},        // no htotal
      {{65000000, 1344, 0, false, false}, 0},       // no vtotal
      {{UINT32_MAX, 1, 1, true, false}, UINT32_MAX},  // no overflow
  };
  for (const auto& [timing, hz] : cases) {
    EXPECT_EQ(RefreshRateHz(timing), hz) << timing.dot_clock_hz << " Hz clock";
  }
}

TEST(ChooseModeTest, PicksByScanThenCurrentRateThenHighestRate) {
  const std::vector<ModeCandidate> modes = {
      {1024, 768, 60, true},  {1024, 768, 75, true}, {1024, 768, 85, true},
      {1024, 768, 87, false},  // 3: interlaced, fastest
      {800, 600, 60, false},  {800, 600, 72, false},  // interlaced only
      {640, 480, 60, true},   {640, 480, 60, true},   // 6, 7: the same
      {768, 1024, 60, true},                          // 8: a turned mode
  };
  struct Case {
    const char* what;
    std::uint32_t width_px, height_px, current_hz;
    std::optional<std::size_t> expected;
  };
  const Case cases[] = {
      {"current rate offered", 1024, 768, 75, 1},
      {"current rate offered, slowest", 1024, 768, 60, 0},
      {"current rate not offered: highest", 1024, 768, 50, 2},
      {"interlaced never beats progressive", 1024, 768, 87, 2},
      {"interlaced when nothing else", 800, 600, 60, 4},
      {"interlaced, highest rate", 800, 600, 50, 5},
      {"ties go to the first listed", 640, 480, 60, 6},
      {"width and height not swapped", 768, 1024, 60, 8},
      {"size not offered", 1000, 700, 60, std::nullopt},
      {"width matches, height does not", 1024, 600, 60, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseMode(modes, c.width_px, c.height_px, c.current_hz), c.expected) << c.what;
  }
  EXPECT_EQ(ChooseMode({}, 1024, 768, 60), std::nullopt);
}

}  // namespace
}  // namespace pelmode
