#include "screen_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace pelmode {

void PrintTo(const Area& a, std::ostream* os) {
  *os << a.width_px << "x" << a.height_px << "+" << a.x << "+" << a.y;
}

namespace {

std::int64_t Right(const Area& a) { return std::int64_t(a.x) + a.width_px; }
std::int64_t Bottom(const Area& a) { return std::int64_t(a.y) + a.height_px; }
bool Shown(const Area& a) { return a.width_px > 0 && a.height_px > 0; }

bool Overlap(const Area& a, const Area& b) {
  return a.x < Right(b) && b.x < Right(a) && a.y < Bottom(b) && b.y < Bottom(a);
}

bool SharesBorder(const Area& a, const Area& b) {
  const bool columns = a.x < Right(b) && b.x < Right(a);
  const bool rows = a.y < Bottom(b) && b.y < Bottom(a);
  return (columns && a.y <= Bottom(b) && b.y <= Bottom(a)) ||
         (rows && a.x <= Right(b) && b.x <= Right(a));
}

int Pieces(const std::vector<Area>& areas) {
  std::vector<int> piece(areas.size(), -1);
  int pieces = 0;
  for (std::size_t first = 0; first < areas.size(); ++first) {
    if (!Shown(areas[first]) || piece[first] >= 0) continue;
    std::vector<std::size_t> todo = {first};
    piece[first] = pieces;
    while (!todo.empty()) {
      const std::size_t at = todo.back();
      todo.pop_back();
      for (std::size_t i = 0; i < areas.size(); ++i) {
        if (Shown(areas[i]) && piece[i] < 0 && SharesBorder(areas[at], areas[i])) {
          piece[i] = pieces;
          todo.push_back(i);
        }
      }
    }
    ++pieces;
  }
  return pieces;
}

std::pair<std::int32_t, std::int32_t> Start(const std::vector<Area>& areas) {
  std::int32_t x = INT32_MAX, y = INT32_MAX;
  for (const Area& a : areas) {
    if (Shown(a)) x = std::min(x, a.x), y = std::min(y, a.y);
  }
  return {x, y};
}

// What holds for every layout the rule returns; empty when it holds.
std::string Broken(const std::vector<Area>& before, const std::vector<Area>& after,
                   std::uint32_t width_px, std::uint32_t height_px) {
  std::string broken;
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (!Shown(before[i])) {
      if (!(after[i] == before[i])) broken += "an empty area moved; ";
      continue;
    }
    if (before[i] == before[0] &&
        (after[i].width_px != width_px || after[i].height_px != height_px ||
         after[i].x != after[0].x || after[i].y != after[0].y)) {
      broken += "area " + std::to_string(i) + " did not follow the change; ";
    }
    for (std::size_t j = i + 1; j < before.size(); ++j) {
      if (Shown(before[j]) && Overlap(after[i], after[j]) && !Overlap(before[i], before[j])) {
        broken += "areas " + std::to_string(i) + " and " + std::to_string(j) + " overlap; ";
      }
    }
  }
  if (Pieces(after) > Pieces(before)) broken += "the desktop came apart; ";
  if (Start(after) != Start(before)) broken += "the desktop moved its start; ";
  return broken;
}

TEST(ScreenLayoutTest, DesktopStaysWholeAndComesBack) {
  struct Case {
    const char* what;
    std::vector<Area> before;  // the first area changes
    ScreenSize size;
    std::vector<Area> after;  // empty: the change is refused
    bool comes_back;          // the change back restores `before`
  };
  const Area kOff{};
  const ScreenSize k1024 = {1024, 768};
  const Case cases[] = {
      {"alone", {{0, 0, 1920, 1080}}, k1024, {{0, 0, 1024, 768}}, true},
      {"right, top edges lined up", {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}}, k1024,
       {{0, 0, 1024, 768}, {1024, 0, 1280, 1024}}, true},
      {"right, bottom edges lined up", {{0, 0, 2048, 1536}, {2048, 768, 1024, 768}},
       {800, 600}, {{0, 168, 800, 600}, {800, 0, 1024, 768}}, true},
      {"right at an offset, still touching", {{0, 0, 1920, 1080}, {1920, 200, 1280, 1024}},
       k1024, {{0, 0, 1024, 768}, {1024, 200, 1280, 1024}}, true},
      {"right at an offset, no longer touching", {{0, 0, 1920, 1080}, {1920, 900, 1280, 1024}},
       k1024, {{0, 0, 1024, 768}, {1024, 767, 1280, 1024}}, false},
      {"right, corner to corner above", {{0, 600, 1920, 1080}, {1920, 0, 800, 600}}, k1024,
       {{0, 600, 1024, 768}, {1024, 0, 800, 600}}, true},
      {"left stays", {{1280, 0, 1920, 1080}, {0, 0, 1280, 1024}}, k1024,
       {{1280, 0, 1024, 768}, {0, 0, 1280, 1024}}, true},
      {"below, left edges lined up", {{0, 0, 1920, 1080}, {0, 1080, 1280, 1024}}, k1024,
       {{0, 0, 1024, 768}, {0, 768, 1280, 1024}}, true},
      {"below, right edges lined up", {{0, 0, 1920, 1080}, {640, 1080, 1280, 1024}}, k1024,
       {{256, 0, 1024, 768}, {0, 768, 1280, 1024}}, true},
      {"above stays", {{0, 1024, 1920, 1080}, {0, 0, 1280, 1024}}, k1024,
       {{0, 1024, 1024, 768}, {0, 0, 1280, 1024}}, true},
      {"diagonal, corner to corner", {{0, 0, 1920, 1080}, {1920, 1080, 800, 600}}, k1024,
       {{0, 0, 1024, 768}, {1024, 768, 800, 600}}, true},
      {"three, the lower one below the left one",
       {{1920, 0, 1920, 1080}, {0, 0, 1920, 1080}, {0, 1080, 1280, 1024}}, k1024,
       {{1920, 0, 1024, 768}, {0, 0, 1920, 1080}, {0, 1080, 1280, 1024}}, true},
      {"row of three, middle changed",
       {{1280, 0, 1920, 1080}, {0, 0, 1280, 1024}, {3200, 0, 800, 600}}, k1024,
       {{1280, 0, 1024, 768}, {0, 0, 1280, 1024}, {2304, 0, 800, 600}}, true},
      {"chain of three to the right",
       {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}, {3200, 500, 1280, 1024}}, k1024,
       {{0, 0, 1024, 768}, {1024, 0, 1280, 1024}, {2304, 500, 1280, 1024}}, true},
      {"column of three", {{0, 0, 1920, 1080}, {0, 1080, 1920, 1080}, {0, 2160, 1280, 1024}},
       k1024, {{0, 0, 1024, 768}, {0, 768, 1920, 1080}, {0, 1848, 1280, 1024}}, true},
      {"L, right and below apart",
       {{0, 0, 1920, 1080}, {1920, 0, 800, 600}, {0, 1080, 800, 600}}, k1024,
       {{0, 0, 1024, 768}, {1024, 0, 800, 600}, {0, 768, 800, 600}}, true},
      {"L, right and below would overlap: right pushed right",
       {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}, {0, 1080, 1280, 1024}}, k1024,
       {{0, 0, 1024, 768}, {1280, 0, 1280, 1024}, {0, 768, 1280, 1024}}, true},
      {"two by two: the right column pushed back",
       {{0, 0, 1920, 1080}, {1920, 0, 1920, 1080}, {0, 1080, 1920, 1080},
        {1920, 1080, 1920, 1080}},
       k1024,
       {{0, 0, 1024, 768}, {1920, 0, 1920, 1080}, {0, 768, 1920, 1080},
        {1920, 1080, 1920, 1080}},
       true},
      {"growing", {{0, 0, 1024, 768}, {1024, 0, 1280, 1024}, {0, 768, 800, 600}},
       {1920, 1080}, {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}, {0, 1080, 800, 600}}, true},
      {"mirror follows", {{0, 0, 1920, 1080}, {0, 0, 1920, 1080}, {1920, 0, 1280, 1024}},
       k1024, {{0, 0, 1024, 768}, {0, 0, 1024, 768}, {1024, 0, 1280, 1024}}, true},
      {"CRTC that shows nothing stays", {{0, 0, 1920, 1080}, kOff}, k1024,
       {{0, 0, 1024, 768}, kOff}, true},
      {"growing into an output hung from above: pushed right",
       {{100, 100, 800, 600}, {0, 0, 2000, 100}, {1000, 100, 500, 500}}, k1024,
       {{100, 100, 1024, 768}, {0, 0, 2000, 100}, {1124, 100, 500, 500}}, false},
      {"above, touching only what the change takes away",
       {{0, 600, 1920, 1080}, {1920, 600, 800, 600}, {1664, 0, 800, 600}}, {800, 600},
       {{0, 600, 800, 600}, {800, 600, 800, 600}, {799, 0, 800, 600}}, false},
      {"corner to corner, held by another: stays",
       {{256, 600, 800, 600}, {256, 0, 800, 600}, {1056, 0, 800, 600}}, {1280, 1024},
       {{256, 600, 1280, 1024}, {256, 0, 800, 600}, {1056, 0, 800, 600}}, false},
      {"beyond the coordinate range: refused",
       {{2147482000, 0, 1000, 1000}, {2147483000, 0, 500, 500}}, {2000, 1000}, {}, false},
  };
  for (const Case& c : cases) {
    const auto after = ResizedLayout(c.before, 0, c.size.width_px, c.size.height_px);
    if (c.after.empty()) {
      EXPECT_FALSE(after) << c.what;
      continue;
    }
    ASSERT_TRUE(after) << c.what;
    EXPECT_EQ(*after, c.after) << c.what;
    EXPECT_EQ(Broken(c.before, *after, c.size.width_px, c.size.height_px), "") << c.what;
    const Area& original = c.before[0];
    const auto back = ResizedLayout(*after, 0, original.width_px, original.height_px);
    ASSERT_TRUE(back) << c.what << ": the change back";
    EXPECT_EQ(Broken(*after, *back, original.width_px, original.height_px), "")
        << c.what << ": the change back";
    if (c.comes_back) {
      EXPECT_EQ(*back, c.before) << c.what << ": the change back";
    }
  }
}

// Random desktops of two to five monitors, each touching one placed before.
TEST(ScreenLayoutTest, RandomDesktopsStayWholeOrAreRefused) {
  const ScreenSize sizes[] = {{800, 600}, {1024, 768}, {1280, 1024}, {1920, 1080}, {2560, 1440}};
  std::mt19937 random(20261206);
  const auto pick = [&](std::uint32_t n) { return std::uint32_t(random() % n); };
  int refused = 0;
  constexpr int kDesktops = 4000;
  for (int round = 0; round < kDesktops; ++round) {
    std::vector<Area> areas;
    const std::uint32_t count = 2 + pick(4);
    while (areas.size() < count) {
      const ScreenSize s = sizes[pick(5)];
      Area next = {0, 0, s.width_px, s.height_px};
      if (!areas.empty()) {
        const Area& at = areas[pick(std::uint32_t(areas.size()))];
        const std::int32_t slide = std::int32_t(pick(1025)) - 512;
        switch (pick(4)) {
          case 0: next.x = std::int32_t(Right(at)), next.y = at.y + slide; break;
          case 1: next.x = at.x - std::int32_t(s.width_px), next.y = at.y + slide; break;
          case 2: next.y = std::int32_t(Bottom(at)), next.x = at.x + slide; break;
          default: next.y = at.y - std::int32_t(s.height_px), next.x = at.x + slide;
        }
      }
      if (std::none_of(areas.begin(), areas.end(),
                       [&](const Area& a) { return Overlap(a, next); })) {
        areas.push_back(next);
      }
    }
    const auto [x0, y0] = Start(areas);
    for (Area& a : areas) a.x -= x0, a.y -= y0;
    const ScreenSize size = sizes[pick(5)];
    const auto after = ResizedLayout(areas, 0, size.width_px, size.height_px);
    if (!after) {
      ++refused;
      continue;
    }
    ASSERT_EQ(Broken(areas, *after, size.width_px, size.height_px), "") << "round " << round;
  }
  EXPECT_LT(refused, kDesktops / 100) << "too many desktops refused";
}

TEST(ScreenLayoutTest, ScreenHoldsTheLayoutWithinTheServerLimits) {
  EXPECT_EQ(BoundingScreen({{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}}),
            (ScreenSize{3200, 1080}));
  EXPECT_EQ(BoundingScreen({{0, 0, 0, 0}, {100, 50, 640, 480}}), (ScreenSize{740, 530}));
  const ScreenSize kMin = {64, 64}, kMax = {8192, 8192};
  EXPECT_EQ(ScreenWithinLimits({48, 40}, kMin, kMax), (ScreenSize{64, 64}));
  EXPECT_EQ(ScreenWithinLimits({8192, 30}, kMin, kMax), (ScreenSize{8192, 64}));
  EXPECT_FALSE(ScreenWithinLimits({8193, 1080}, kMin, kMax));
  EXPECT_FALSE(ScreenWithinLimits({1920, 8193}, kMin, kMax));
  EXPECT_EQ(CoveringScreen({1024, 768}, {1280, 720}), (ScreenSize{1280, 768}));
}

TEST(ScreenLayoutTest, PhysicalSizeKeepsTheDpi) {
  EXPECT_EQ(MillimetresAtSameDpi(1024, 2048, 542), 271u);
  EXPECT_EQ(MillimetresAtSameDpi(1001, 2, 1), 501u);  // 500.5 rounds up
  EXPECT_EQ(MillimetresAtSameDpi(1024, 0, 270), 0u);
  EXPECT_EQ(MillimetresAtSameDpi(32767, 32767, UINT32_MAX), UINT32_MAX);
}

}  // namespace
}  // namespace pelmode
