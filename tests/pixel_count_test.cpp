#include "pixel_count.h"

#include <gtest/gtest.h>

namespace pelmode {
namespace {

TEST(PixelCountTest, AcceptsWholeCountsAsPeopleTypeThem) {
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"1280", 1280},  {"1", 1},           {"2147483647", 2147483647u}, {"+800", 800},
      {"600px", 600},  {"600PX", 600},     {" \t768\n ", 768},         {" +1024px ", 1024},
      {"0800", 800},   {"00000000000000000001", 1},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ParsePixelCount(text), expected) << "text: \"" << text << "\"";
  }
}

TEST(PixelCountTest, RefusesAnythingElse) {
  const char* const cases[] = {
      "",   "   ",  "abc",   "0",      "-1",     "12abc",      "1e3",        "0x258",
      "px", "+",    "++5",   "+ 5",    "600 px", "2147483648", "4294967296", "99999999999999999999",
      "600pxpx",    "600p",  "1 2",    "\xd9\xa1",  // ARABIC-INDIC ONE
  };
  for (const char* text : cases) {
    EXPECT_EQ(ParsePixelCount(text), std::nullopt) << "text: \"" << text << "\"";
  }
}

}  // namespace
}  // namespace pelmode
