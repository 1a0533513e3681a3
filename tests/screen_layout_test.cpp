#include "screen_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <sstream>

#include "layout_geometry.h"

namespace pelmode {
namespace {

std::int64_t Right(const Area& a) { return std::int64_t(a.x) + a.width_px; }
std::int64_t Bottom(const Area& a) { return std::int64_t(a.y) + a.height_px; }
bool Shown(const Area& a) { return a.width_px > 0 && a.height_px > 0; }

// "1920x1080+0+0 off 1280x1024+1920+0", as xrandr writes geometry.
std::vector<Area> Areas(const std::string& text) {
  std::vector<Area> areas;
  std::istringstream in(text);
  for (std::string word; in >> word;) {
    Area& a = areas.emplace_back();  // "off" stays empty
    std::sscanf(word.c_str(), "%ux%u+%d+%d", &a.width_px, &a.height_px, &a.x, &a.y);
  }
  return areas;
}

std::string Text(const std::vector<Area>& areas) {
  std::ostringstream out;
  for (const Area& a : areas) {
    out << (Shown(a) ? "" : "off ");
    if (Shown(a)) out << a.width_px << "x" << a.height_px << "+" << a.x << "+" << a.y << " ";
  }
  return out.str();
}

bool Overlap(const Area& a, const Area& b) { return layout::Overlap(layout::BoxOf(a), layout::BoxOf(b)); }
bool SharesBorder(const Area& a, const Area& b) { return layout::Joined(layout::BoxOf(a), layout::BoxOf(b)); }
bool Meet(const Area& a, const Area& b) { return layout::Meet(layout::BoxOf(a), layout::BoxOf(b)); }

int Pieces(const std::vector<Area>& areas) {
  std::vector<std::size_t> root(areas.size());
  for (std::size_t i = 0; i < root.size(); ++i) root[i] = i;
  const auto top = [&](std::size_t i) { return root[i] == i ? i : root[i] = root[root[i]]; };
  for (std::size_t i = 0; i < areas.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (Shown(areas[i]) && Shown(areas[j]) && SharesBorder(areas[i], areas[j])) root[top(i)] = top(j);
    }
  }
  int pieces = 0;
  for (std::size_t i = 0; i < areas.size(); ++i) pieces += Shown(areas[i]) && top(i) == i;
  return pieces;
}

std::pair<std::int32_t, std::int32_t> Start(const std::vector<Area>& areas) {
  std::int32_t x = INT32_MAX, y = INT32_MAX;
  for (const Area& a : areas) {
    if (Shown(a)) x = std::min(x, a.x), y = std::min(y, a.y);
  }
  return {x, y};
}

// What holds for every layout the rule returns, the first area changed to
// `size`; empty when it holds. Moves are measured against the changed
// area's, which is the shift of the whole desktop.
std::string Broken(const std::vector<Area>& before, const std::vector<Area>& after,
                   ScreenSize size) {
  std::string broken;
  const std::int64_t shift_x = after[0].x - before[0].x, shift_y = after[0].y - before[0].y;
  const std::int64_t grow_x = std::int64_t(size.width_px) - before[0].width_px;
  const std::int64_t grow_y = std::int64_t(size.height_px) - before[0].height_px;
  std::vector<bool> moved(before.size());
  for (std::size_t i = 0; i < before.size(); ++i) {
    const std::int64_t dx = after[i].x - before[i].x - shift_x, dy = after[i].y - before[i].y - shift_y;
    moved[i] = i > 0 && Shown(before[i]) && (dx != 0 || dy != 0);
    const std::string area = "area " + std::to_string(i);
    if (dx * grow_x < 0 || dy * grow_y < 0 || (dx && !grow_x) || (dy && !grow_y)) {
      broken += area + " moved against the change; ";
    }
    const bool follows = Shown(before[i]) && before[i] == before[0];
    if (follows && !(after[i] == Area{after[0].x, after[0].y, size.width_px, size.height_px})) {
      broken += area + " does not show the change; ";
    }
    if (!Shown(before[i]) && !(after[i] == before[i])) broken += "an empty area moved; ";
    for (std::size_t j = i + 1; j < before.size(); ++j) {
      if (Overlap(after[i], after[j]) && !Overlap(before[i], before[j])) {
        broken += "areas " + std::to_string(i) + " and " + std::to_string(j) + " overlap; ";
      }
    }
  }
  for (std::size_t i = 0; i < before.size(); ++i) {
    bool near_a_move = Meet(before[i], before[0]);
    for (std::size_t j = 0; j < before.size(); ++j) near_a_move |= moved[j] && Meet(before[i], before[j]);
    if (moved[i] && !near_a_move) broken += "area " + std::to_string(i) + " moved though nothing next to it did; ";
  }
  if (Pieces(after) > Pieces(before)) broken += "the desktop came apart; ";
  if (Start(after) != Start(before)) broken += "the desktop moved its start; ";
  const auto box = [](const std::vector<Area>& areas) {
    std::int64_t right = INT64_MIN, bottom = INT64_MIN;
    for (const Area& a : areas) right = std::max(right, Right(a)), bottom = std::max(bottom, Bottom(a));
    return std::make_pair(right - Start(areas).first, bottom - Start(areas).second);
  };
  if (grow_x <= 0 && grow_y <= 0 && (box(after).first > box(before).first || box(after).second > box(before).second)) {
    broken += "the desktop grew while the monitor shrank; ";
  }
  return broken;
}

TEST(ScreenLayoutTest, DesktopStaysWholeAndComesBack) {
  struct Case {
    const char* what;
    const char* before;  // the first area changes
    ScreenSize size;
    const char* after;  // empty: refused
    bool comes_back;    // the change back restores `before`
  };
  const ScreenSize k1024 = {1024, 768}, k800 = {800, 600};
  const Case cases[] = {
      {"alone", "1920x1080+0+0", k1024, "1024x768+0+0", true},
      {"right, tops lined up", "1920x1080+0+0 1280x1024+1920+0", k1024, "1024x768+0+0 1280x1024+1024+0", true},
      {"right, bottoms lined up", "2048x1536+0+0 1024x768+2048+768", k800, "800x600+0+168 1024x768+800+0", true},
      {"right, both lined up on the way back", "2048x1536+0+0 1920x1080+2048+456", {1920, 1080}, "1920x1080+0+0 1920x1080+1920+0", false},
      {"left, bottoms lined up", "2048x1536+640+0 640x480+0+1056", k1024, "1024x768+640+0 640x480+0+288", true},
      {"right, offset, still touching", "1920x1080+0+0 1280x1024+1920+200", k1024, "1024x768+0+0 1280x1024+1024+200", true},
      {"right, offset, taller, no longer touching", "1920x1080+0+0 1280x1024+1920+900", k1024, "1024x768+0+0 1280x1024+1024+0", false},
      {"left, no longer touching, slides up level", "1920x1080+1000+0 1000x500+0+900", k1024, "1024x768+1000+0 1000x500+0+268", false},
      {"right, its top at the new bottom edge", "1920x1080+0+0 1280x1024+1920+768", k1024, "1024x768+0+0 1280x1024+1024+0", false},
      {"right, corner to corner above", "1920x1080+0+600 800x600+1920+0", k1024, "1024x768+0+600 800x600+1024+0", false},
      {"diagonal, corner to corner", "1920x1080+0+0 800x600+1920+1080", k1024, "1024x768+0+0 800x600+1024+768", false},
      {"below, lefts lined up", "1920x1080+0+0 1280x1024+0+1080", k1024, "1024x768+0+0 1280x1024+0+768", true},
      {"below, rights lined up: the desktop shifts", "1920x1080+640+0 2560x1440+0+1080", k1024, "1024x768+1536+0 2560x1440+0+768", true},
      {"above and left stay", "1920x1080+1280+1024 1280x1024+0+1024 1280x1024+1280+0", k1024, "1024x768+1280+1024 1280x1024+0+1024 1280x1024+1280+0", true},
      {"T: the lower one stays", "1920x1080+0+0 1920x1080+1920+0 1280x1024+1280+1080", k1024, "1024x768+0+0 1920x1080+1024+0 1280x1024+1280+1080", true},
      {"the upper one still touches the right-hand one", "1920x1080+0+1080 1920x1080+1920+1080 1920x1080+1724+0", k1024, "1024x768+0+1080 1920x1080+1024+1080 1920x1080+1724+0", true},
      {"three stacked", "1920x1080+0+0 1920x1080+0+1080 1280x1024+640+2160", k1024, "1024x768+0+0 1920x1080+0+768 1280x1024+640+1848", true},
      {"chain to the right", "1920x1080+0+0 1280x1024+1920+0 1280x1024+3200+500", k1024, "1024x768+0+0 1280x1024+1024+0 1280x1024+2304+500", true},
      {"L, both larger: the right one stops at the lower", "1920x1080+0+0 1280x1024+1920+0 1280x1024+0+1080", k1024, "1024x768+0+0 1280x1024+1280+0 1280x1024+0+768", true},
      {"two by two", "1920x1080+0+0 1920x1080+1920+0 1920x1080+0+1080 1920x1080+1920+1080", k1024, "1024x768+0+0 1920x1080+1920+0 1920x1080+0+768 1920x1080+1920+1080", true},
      {"a follower stops where it meets another", "1920x1080+0+500 1280x720+1920+860 1280x860+1920+0", k1024, "1024x768+0+500 1280x720+1024+860 1280x860+1920+0", true},
      {"mirror follows", "1920x1080+0+0 1920x1080+0+0 1280x1024+1920+0", k1024, "1024x768+0+0 1024x768+0+0 1280x1024+1024+0", true},
      {"CRTC that shows nothing stays", "1920x1080+0+0 off", k1024, "1024x768+0+0 off", true},
      {"detached: the edge it sat on before the least move", "800x600+303+0 1024x768+1103+497 640x480+0+600", {640, 480}, "640x480+303+0 1024x768+943+0 640x480+0+480", false},
      {"growing into one hung from above", "800x600+100+100 2000x100+0+0 500x500+1000+100", k1024, "1024x768+100+100 2000x100+0+0 500x500+1124+100", false},
      {"above, touching what the change takes away", "1920x1080+0+600 800x600+1920+600 800x600+1664+0", k800, "800x600+0+600 800x600+800+600 800x600+544+0", false},
      {"corner to corner, held by another", "800x600+256+600 800x600+256+0 800x600+1056+0", {1280, 1024}, "1280x1024+256+600 800x600+256+0 800x600+1056+0", true},
      {"beyond the coordinate range", "1000x1000+2147482000+0 500x500+2147483000+0", {2000, 1000}, "", false},
  };
  for (const Case& c : cases) {
    const std::vector<Area> before = Areas(c.before);
    const auto after = ResizedLayout(before, 0, c.size.width_px, c.size.height_px);
    ASSERT_EQ(after ? Text(*after) : "", *c.after ? Text(Areas(c.after)) : "") << c.what;
    if (!after) continue;
    EXPECT_EQ(Broken(before, *after, c.size), "") << c.what;
    const ScreenSize original = {before[0].width_px, before[0].height_px};
    const auto back = ResizedLayout(*after, 0, original.width_px, original.height_px);
    ASSERT_TRUE(back) << c.what << ": the change back";
    EXPECT_EQ(Broken(*after, *back, original), "") << c.what << ": the change back";
    if (c.comes_back) {
      EXPECT_EQ(Text(*back), Text(before)) << c.what << ": the change back";
    }
  }
}

// Random desktops of two to five monitors, each touching one placed before
// on a random side, at a random offset along it.
TEST(ScreenLayoutTest, RandomDesktopsStayWholeOrAreRefused) {
  const Area sizes[] = {{0, 0, 800, 600}, {0, 0, 1024, 768}, {0, 0, 1920, 1080}, {0, 0, 2560, 1440}};
  std::mt19937 random(20261206);
  const auto pick = [&](std::size_t n) { return std::int32_t(random() % n); };
  int refused = 0;
  for (int round = 0; round < 4000; ++round) {
    std::vector<Area> areas = {sizes[pick(4)]};
    for (std::int32_t count = 2 + pick(4); std::int32_t(areas.size()) < count;) {
      Area next = sizes[pick(4)];
      const Area& at = areas[std::size_t(pick(areas.size()))];
      const std::int32_t slide = pick(1025) - 512, side = pick(4);
      next.x = side == 0 ? std::int32_t(Right(at)) : side == 1 ? at.x - std::int32_t(next.width_px) : at.x + slide;
      next.y = side == 2 ? std::int32_t(Bottom(at)) : side == 3 ? at.y - std::int32_t(next.height_px) : at.y + slide;
      if (std::none_of(areas.begin(), areas.end(), [&](const Area& a) { return Overlap(a, next); })) areas.push_back(next);
    }
    const auto [x0, y0] = Start(areas);
    for (Area& a : areas) a.x -= x0, a.y -= y0;
    const Area size = sizes[pick(4)];
    const auto after = ResizedLayout(areas, 0, size.width_px, size.height_px);
    refused += after ? 0 : 1;
    ASSERT_EQ(after ? Broken(areas, *after, {size.width_px, size.height_px}) : "", "") << Text(areas);
  }
  EXPECT_LT(refused, 40);
}

}  // namespace
}  // namespace pelmode
