#include "mode_choice.h"

#include <gtest/gtest.h>

namespace pelmode {
namespace {

TEST(RefreshRateTest, FollowsTheScanOfTheModeToTheMillihertz) {
  const std::pair<ModeTiming, std::uint32_t> cases[] = {
      {{148351648, 2200, 1125, false, false}, 59940},  // 1080p59.94
      {{119, 1, 2000, false, false}, 60},              // 59.5 mHz rounds half up
      {{74250000, 2200, 1125, true, false}, 60000},    // 1080i: twice the fields
      {{25175000, 800, 525, false, true}, 29970},      // double scan: half the frames
      {{25175000, 800, 525, true, true}, 59940},       // both cancel out
      {{65000000, 0, 806, false, false}, 0},           // no htotal
      {{UINT32_MAX, 1, 1, true, false}, UINT32_MAX},   // no overflow
  };
  for (const auto& [timing, mhz] : cases) {
    EXPECT_EQ(RefreshMillihertz(timing), mhz) << timing.dot_clock_hz << " Hz clock";
  }
  EXPECT_FALSE(SameRate(60000, 60010));
}

TEST(ChooseModeTest, PicksByScanThenTheWantedRateElseTheNearest) {
  const std::vector<ModeCandidate> modes = {
      {1024, 768, 60000, true},  {1024, 768, 59940, true}, {1024, 768, 75029, true},
      {1024, 768, 87000, false},  // 3: interlaced, fastest
      {800, 600, 60000, false},  {800, 600, 72000, false},  // interlaced only
      {640, 480, 60000, true},   {640, 480, 60000, true},   // 6, 7: the same
      {768, 1024, 60000, true},                             // 8: a turned mode
      {1280, 1024, 0, true},     {1280, 1024, 50000, true}, {1280, 1024, 70000, true},  // 9: no rate
  };
  struct Case {
    const char* what;
    std::uint32_t width_px, height_px, wanted_mhz;
    std::optional<std::size_t> expected;
  };
  const Case cases[] = {
      {"59.94 kept beside 60", 1024, 768, 59940, 1},
      {"the nearest above", 1024, 768, 59000, 1},
      {"the nearest below, not the highest", 1024, 768, 65000, 0},
      {"as near both ways: the higher", 1280, 1024, 60000, 11},
      {"interlaced never beats progressive", 1024, 768, 87000, 2},
      {"interlaced when nothing else, the nearest", 800, 600, 62000, 4},
      {"ties go to the first listed", 640, 480, 60000, 6},
      {"no rate in force: the highest", 1024, 768, 0, 2},
      {"no rate in force: a mode without one kept", 1280, 1024, 0, 9},
      {"a mode without a rate after any with one", 1280, 1024, 5000, 10},
      {"width and height not swapped", 768, 1024, 60000, 8},
      {"width matches, height does not", 1024, 600, 60000, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseMode(modes, c.width_px, c.height_px, c.wanted_mhz), c.expected) << c.what;
  }
}

TEST(ChooseScaleTest, KeepsTheScaleWhereAllowedElseTheClosest) {
  const std::tuple<std::vector<double>, double, double> cases[] = {
      {{}, 2.0, 2.0},               // the compositor lists none: kept
      {{1.0, 2.0}, 2.0, 2.0},       // allowed: kept
      {{1.0, 1.25, 1.5}, 2.0, 1.5}, // the closest below
      {{1.0, 2.0}, 1.5, 1.0},       // as close both ways: the smaller
  };
  for (const auto& [allowed, current, expected] : cases) {
    EXPECT_EQ(ChooseScale(allowed, current), expected) << current;
  }
}

}  // namespace
}  // namespace pelmode
