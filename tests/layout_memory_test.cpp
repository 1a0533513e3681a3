#include "layout_memory.h"

#include <gtest/gtest.h>

namespace pelmode {
namespace {

const char kMemory[] =
    "pelmode-layout 1\n"
    "target DP-1\n"
    "before 0 0 3ff7ecdc1cb5d4ef 0 1 0 0 2560 1440 59951 DP-1\n"
    "before 1712 0 3ff0000000000000 1 0 0 0 1920 1080 60000 HDMI 2\n"
    "after 0 0 3ff0000000000000 0 1 0 0 1920 1080 60000 DP-1\n"
    "after 1920 0 3ff0000000000000 1 0 0 0 1920 1080 60000 HDMI 2\n";

TEST(LayoutMemoryTest, KeepsEveryFieldExactly) {
  const auto memory = ParseMemory(kMemory);
  ASSERT_TRUE(memory);
  EXPECT_EQ(FormatMemory(*memory), kMemory);
  EXPECT_EQ(memory->before[0].scale, 1.4953271028037383);
  EXPECT_EQ(memory->before[1].name, "HDMI 2");
  EXPECT_TRUE(memory->before[1].quarter_turn);
  EXPECT_TRUE(memory->before[0].primary);
}

TEST(LayoutMemoryTest, KeepsAtMost64Monitors) {
  for (const int count : {64, 65}) {
    std::string before, after;
    for (int i = 0; i < count; ++i) {
      const std::string line = " 0 3ff0000000000000 0 0 0 0 1920 1080 60000 M" + std::to_string(i) + "\n";
      before += "before " + std::to_string(1920 * i) + line, after += "after " + std::to_string(1920 * i) + line;
    }
    EXPECT_EQ(ParseMemory("pelmode-layout 1\ntarget M0\n" + before + after).has_value(), count == 64);
  }
}

// Each row changes one line of a good memory into one that must be refused.
TEST(LayoutMemoryTest, RefusesWhatItDidNotWrite) {
  const std::pair<const char*, const char*> cases[] = {
      {"pelmode-layout 1", "pelmode-layout 2"},
      {"target DP-1", "target "},
      {"target DP-1", "target DP-1\x1b"},
      {"before 0 0 3ff7", "before 2147483648 0 3ff7"},  // x beyond 32 bits
      {"before 0 0 3ff7", "before +0 0 3ff7"},
      {"before 0 0 3ff7", "before 0  0 3ff7"},
      {"before 0 0 3ff7", "before 0\n0 3ff7"},
      {"3ff7ecdc1cb5d4ef", "7ff8000000000000"},   // not a number
      {"3ff7ecdc1cb5d4ef", "0"},
      {"3ff7ecdc1cb5d4ef", "7fe1ccf385ebc8a0"},   // 1e308
      {"3ff7ecdc1cb5d4ef", "13ff7ecdc1cb5d4ef"},  // beyond 64 bits
      {"3ff7ecdc1cb5d4ef 0 1", "3ff7ecdc1cb5d4ef 2 1"},  // a turn is 0 or 1
      {"0 0 2560 1440", "0 0 0 1440"},
      {"0 0 2560 1440", "0 0 -2560 1440"},
      {"0 0 2560 1440 59951 DP-1\n", "0 0 2560 1440 59951\n"},
      {"HDMI 2\nafter", "DP-1\nafter"},  // a monitor named twice
      {"target DP-1", "target DP-2"},
      {"after 0 0 3ff0000000000000 0 1 0 0 1920 1080 60000 DP-1\n", ""},
      {"60000 HDMI 2\n", "60000 HDMI 2"},  // cut short
      {"60000 HDMI 2\n", "60000 HDMI 2\nafter 1"},  // a line cut short after it
      {"before 1712", "after 1712"},         // halves interleaved
  };
  for (const auto& [good, bad] : cases) {
    std::string text = kMemory;
    const std::size_t at = text.rfind(good);
    ASSERT_NE(at, std::string::npos) << good;
    text.replace(at, std::string(good).size(), bad);
    EXPECT_FALSE(ParseMemory(text)) << bad;
  }
}

}  // namespace
}  // namespace pelmode
