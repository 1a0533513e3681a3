#include "screen_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <random>
#include <sstream>

namespace pelmode {
namespace {

using Coord = std::int64_t;

Coord Right(const Area& a) { return Coord(a.x) + a.width_px; }
Coord Bottom(const Area& a) { return Coord(a.y) + a.height_px; }
bool Shown(const Area& a) { return a.width_px > 0 && a.height_px > 0; }

// The tests' own geometry: how long a stretch two areas share across and
// down (negative: a gap), an overlap, and a shared stretch of border.
Coord Across(const Area& a, const Area& b) { return std::min(Right(a), Right(b)) - std::max(a.x, b.x); }
Coord Down(const Area& a, const Area& b) { return std::min(Bottom(a), Bottom(b)) - std::max(a.y, b.y); }
bool Overlap(const Area& a, const Area& b) { return Across(a, b) > 0 && Down(a, b) > 0; }
bool Joined(const Area& a, const Area& b) {
  return (Across(a, b) > 0 && Down(a, b) >= 0) || (Down(a, b) > 0 && Across(a, b) >= 0);
}

// "1920x1080+0+0 off 1280x1024+1920+0", as xrandr writes geometry.
std::vector<Area> Areas(const std::string& text) {
  std::vector<Area> areas;
  std::istringstream in(text);
  for (std::string word; in >> word;) {
    Area& a = areas.emplace_back();  // "off" stays empty
    std::sscanf(word.c_str(), "%ux%u%d%d", &a.width_px, &a.height_px, &a.x, &a.y);
  }
  return areas;
}

std::string Text(const std::optional<std::vector<Area>>& areas) {
  std::ostringstream out;
  for (const Area& a : areas ? *areas : std::vector<Area>{}) {
    out << (Shown(a) ? "" : "off ");
    if (Shown(a)) out << a.width_px << "x" << a.height_px << std::showpos << a.x << a.y << std::noshowpos << " ";
  }
  return out.str();
}

int Pieces(const std::vector<Area>& areas) {
  std::vector<std::size_t> root(areas.size());
  std::iota(root.begin(), root.end(), std::size_t{0});
  const auto top = [&](std::size_t i) { return root[i] == i ? i : root[i] = root[root[i]]; };
  for (std::size_t i = 0; i < areas.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (Shown(areas[i]) && Shown(areas[j]) && Joined(areas[i], areas[j])) root[top(i)] = top(j);
    }
  }
  int pieces = 0;
  for (std::size_t i = 0; i < areas.size(); ++i) pieces += Shown(areas[i]) && top(i) == i;
  return pieces;
}

// The layout in a mirror ('h' left to right, 'v' top to bottom) or turned a
// quarter and mirrored ('t': x and y swapped), its top-left corner kept.
std::vector<Area> Seen(std::vector<Area> areas, char how) {
  Coord left = INT64_MAX, top = INT64_MAX, right = INT64_MIN, bottom = INT64_MIN;
  for (const Area& a : areas) {
    if (Shown(a)) left = std::min<Coord>(left, a.x), top = std::min<Coord>(top, a.y), right = std::max(right, Right(a)), bottom = std::max(bottom, Bottom(a));
  }
  for (Area& a : areas) {
    if (Shown(a) && how == 'h') a.x = std::int32_t(left + right - Right(a));
    if (Shown(a) && how == 'v') a.y = std::int32_t(top + bottom - Bottom(a));
    if (how == 't') std::swap(a.x, a.y), std::swap(a.width_px, a.height_px);
  }
  return areas;
}

// What holds for every layout the rule returns; empty when it holds.
std::string Broken(const std::vector<Area>& before, const std::vector<Area>& after, std::size_t changed, ScreenSize size) {
  std::string broken;
  for (std::size_t i = 0; i < before.size(); ++i) {
    const std::string area = "area " + std::to_string(i);
    if (before[i] == before[changed] && (after[i].width_px != size.width_px || after[i].height_px != size.height_px || after[i].x != after[changed].x || after[i].y != after[changed].y)) {
      broken += area + " does not show the change with its mirror; ";
    }
    if (!Shown(before[i]) && !(after[i] == before[i])) broken += "an empty area moved; ";
    for (std::size_t j = i + 1; j < before.size(); ++j) {
      if (Overlap(after[i], after[j]) && !Overlap(before[i], before[j])) broken += area + " and " + std::to_string(j) + " overlap; ";
    }
  }
  if (Pieces(after) > Pieces(before)) broken += "the desktop came apart; ";
  const auto start = [](const std::vector<Area>& areas) {
    std::pair<std::int32_t, std::int32_t> start = {INT32_MAX, INT32_MAX};
    for (const Area& a : areas) start = Shown(a) ? std::pair{std::min(start.first, a.x), std::min(start.second, a.y)} : start;
    return start;
  };
  if (start(after) != start(before)) broken += "the desktop moved its start; ";
  return broken;
}

TEST(ScreenLayoutTest, DesktopsAndTheirMirrorImages) {
  struct Case {
    const char* what;
    const char* before;
    std::size_t changed;
    ScreenSize size;
    const char* after;     // empty: refused
    const char* mirrors;   // 'h', 'v': the mirror images give the mirror image too; 't' always does
                           // but on a tie, "=": as drawn only
    bool comes_back;       // the change back restores `before`
  };
  const ScreenSize k1024 = {1024, 768}, k800 = {800, 600}, k1280 = {1280, 720};
  const Case cases[] = {
      {"right, bottoms lined up", "2048x1536+0+0 1024x768+2048+768", 0, k800, "800x600+0+168 1024x768+800+0", "hv", true},
      {"right, both lined up on the way back", "2048x1536+0+0 1920x1080+2048+456", 0, {1920, 1080}, "1920x1080+0+0 1920x1080+1920+0", "hv", false},
      {"right, offset, still touching", "1920x1080+0+0 1280x1024+1920+200", 0, k1024, "1024x768+0+0 1280x1024+1024+200", "h", true},
      {"right, taller, no longer touching", "1920x1080+0+0 1280x1024+1920+900", 0, k1024, "1024x768+0+0 1280x1024+1024+0", "h", false},
      {"right, shorter, slides up, not under", "1920x1200+0+0 1280x1024+1920+1100", 0, {1920, 1080}, "1920x1080+0+0 1280x1024+1920+56", "h", false},
      {"corner to corner stays apart", "1920x1080+0+0 800x600+1920+1080", 0, k1024, "1024x768+0+0 800x600+1920+1080", "", true},
      {"below, rights lined up: the desktop shifts", "1920x1080+640+0 2560x1440+0+1080", 0, k1024, "1024x768+1536+0 2560x1440+0+768", "hv", true},
      {"T: the lower one stays", "1920x1080+0+0 1920x1080+1920+0 1280x1024+1280+1080", 0, k1024, "1024x768+0+0 1920x1080+1024+0 1280x1024+1280+1080", "", true},
      {"three stacked", "1920x1080+0+0 1920x1080+0+1080 1280x1024+640+2160", 0, k1024, "1024x768+0+0 1920x1080+0+768 1280x1024+640+1848", "v", true},
      {"L, both larger: the right one stops at the lower", "1920x1080+0+0 1280x1024+1920+0 1280x1024+0+1080", 0, k1024, "1024x768+0+0 1280x1024+1280+0 1280x1024+0+768", "", true},
      {"two by two", "1920x1080+0+0 1920x1080+1920+0 1920x1080+0+1080 1920x1080+1920+1080", 0, k1024, "1024x768+0+0 1920x1080+1920+0 1920x1080+0+768 1920x1080+1920+1080", "", true},
      {"a follower stops where it meets another", "1920x1080+0+500 1280x720+1920+860 1280x860+1920+0", 0, k1024, "1024x768+0+500 1280x720+1024+860 1280x860+1920+0", "", true},
      {"the right one touched the upper at a corner", "1920x1080+0+1080 1920x1080+1920+1080 1920x1080+0+0", 0, k1280, "1280x720+0+1080 1920x1080+1280+1080 1920x1080+0+0", "", false},
      {"in a row, one above the middle", "1920x1080+0+1080 1920x1080+1920+1080 1920x1080+3840+1080 1920x1080+1920+0", 1, k1280, "1920x1080+0+1080 1280x720+1920+1080 1920x1080+3200+1080 1920x1080+1920+0", "", false},
      {"taller, and one below the right at a corner", "1920x1200+0+0 1920x1080+1920+1080", 0, {1920, 1080}, "1920x1080+0+0 1920x1080+1920+0", "h", false},
      {"a mirror pair on the right", "1366x768+0+0 1920x1080+1366+0 1920x1080+1366+0", 0, k1024, "1024x768+0+0 1920x1080+1024+0 1920x1080+1024+0", "hv", true},
      {"a mirror pair below, rights lined up", "2560x1440+0+0 1920x1080+640+1440 1920x1080+640+1440", 0, {1920, 1080}, "1920x1080+0+0 1920x1080+0+1080 1920x1080+0+1080", "hv", false},
      {"the changed one's mirror follows", "1920x1080+0+0 1920x1080+0+0 1280x1024+1920+0", 1, k1024, "1024x768+0+0 1024x768+0+0 1280x1024+1024+0", "hv", true},
      {"CRTC that shows nothing stays", "1920x1080+0+0 off", 0, k1024, "1024x768+0+0 off", "hv", true},
      {"below, its side now shorter than their stretch: stops at another", "1280x1024+0+0 2560x1440-2560-431 1920x1080-441+1024", 0, k800, "800x600+0+0 2560x1440-2560-431 1920x1080-441+1009", "", false},
      {"above, its side as long as their stretch: stays on it", "2560x1440+0+0 2560x1440+46-1440 800x600+2606-1214", 1, k800, "2560x1440+0-840 800x600+46-1440 800x600+846-1440", "", false},
      {"chain to the right", "1920x1080+0+0 1280x1024+1920+0 1280x1024+3200+500", 0, k1024, "1024x768+0+0 1280x1024+1024+0 1280x1024+2304+500", "hv", true},
      {"detached: the edge it sat on before the least move", "800x600+303+0 1024x768+1103+497 640x480+0+600", 0, {640, 480}, "640x480+303+0 1024x768+943+0 640x480+0+480", "", false},
      {"above, touching what the change takes away", "1920x1080+0+600 800x600+1920+600 800x600+1664+0", 0, k800, "800x600+0+600 800x600+800+600 800x600+544+0", "h", false},
      {"growing: corner to corner, held by another", "800x600+256+600 800x600+256+0 800x600+1056+0", 0, {1280, 1024}, "1280x1024+256+600 800x600+256+0 800x600+1056+0", "v", true},
      {"below, stays below rather than under the left one", "1280x1024+1024+0 1024x768+0+197 800x600+919+1024", 0, k1024, "1024x768+1024+0 1024x768+0+197 800x600+1024+768", "", false},
      {"right, no room left on its side: under the one there", "1920x1200+1280+0 1280x1090+3200+0 1280x1024+3200+1100 1280x1500+0+0", 0, {1920, 1080}, "1920x1080+1280+0 1280x1090+3200+0 1280x1024+3200+1090 1280x1500+0+0", "", false},
      {"no way back: the rest beside the changed one's piece", "2560x1440+0+0 1024x768+2560+118 800x600+2560-600 1280x1024+3584-300", 0, k800, "800x600+0-600 1024x768+800-482 800x600+1824-482 1280x1024+2624-482", "", false},
      {"growing into one hung from above", "800x600+100+100 2000x100+0+0 500x500+1000+100", 0, k1024, "1024x768+100+100 2000x100+0+0 500x500+1124+100", "", false},
      {"pushed as far down as sideways: sideways", "1000x1000+0+0 1000x1000+1000+1000", 0, {1100, 1100}, "1100x1100+0+0 1000x1000+1100+1000", "=", false},
      {"last resort, as far right as down: right", "100x100+300+0 300x100+200+200 100x200+200+400 100x200+100+200", 0, {200, 400}, "200x400+200+0 300x100+100+400 100x200+100+500 100x200+400+0", "=", false},
      {"beyond the coordinate range", "1000x1000+2147482000+0 500x500+2147483000+0", 0, {2000, 1000}, "", "", false},
  };
  for (const Case& c : cases) {
    const std::vector<Area> before = Areas(c.before);
    for (const char how : *c.mirrors == '=' ? std::string("=") : std::string("t") + c.mirrors + "=") {
      const ScreenSize size = how == 't' ? ScreenSize{c.size.height_px, c.size.width_px} : c.size;
      const auto after = ResizedLayout(Seen(before, how), c.changed, size.width_px, size.height_px);
      EXPECT_EQ(Text(after), *c.after ? Text(Seen(Areas(c.after), how)) : "") << c.what << ", seen " << how;
    }
    if (!c.comes_back) continue;
    const auto back = ResizedLayout(Areas(c.after), c.changed, before[c.changed].width_px, before[c.changed].height_px);
    EXPECT_EQ(Text(back), Text(before)) << c.what << ": the change back";
  }
}

// Random desktops of two to four monitors, each touching one placed before
// on a side, at an offset along it, or only at a corner; some mirrored. The
// monitors side by side are always a whole placement, so none is refused.
TEST(ScreenLayoutTest, RandomDesktopsStayWhole) {
  const Area sizes[] = {{0, 0, 800, 600}, {0, 0, 1024, 768}, {0, 0, 1280, 1024}, {0, 0, 1920, 1080}, {0, 0, 2560, 1440}};
  std::mt19937 random(20261207);
  const auto pick = [&](std::size_t n) { return std::int32_t(random() % n); };
  for (int round = 0; round < 4000; ++round) {
    std::vector<Area> areas = {sizes[pick(5)]};
    for (std::int32_t count = 2 + pick(3); std::int32_t(areas.size()) < count;) {
      Area next = sizes[pick(5)];
      const Area& at = areas[std::size_t(pick(areas.size()))];
      const std::int32_t slide = pick(1025) - 512, side = pick(5), corner = pick(4);
      const std::int32_t x = side == 4 ? corner & 1 : side, y = side == 4 ? corner >> 1 : side - 2;
      next.x = x == 0 ? std::int32_t(Right(at)) : x == 1 ? at.x - std::int32_t(next.width_px) : at.x + slide;
      next.y = y == 0 ? std::int32_t(Bottom(at)) : y == 1 ? at.y - std::int32_t(next.height_px) : at.y + slide;
      if (std::none_of(areas.begin(), areas.end(), [&](const Area& a) { return Overlap(a, next); })) areas.push_back(next);
    }
    if (pick(4) == 0) areas.push_back(areas[std::size_t(pick(areas.size()))]);
    const std::size_t changed = std::size_t(pick(areas.size()));
    const Area size = sizes[pick(5)];
    const auto after = ResizedLayout(areas, changed, size.width_px, size.height_px);
    ASSERT_TRUE(after) << Text(areas) << "changed " << changed << " to " << Text(std::vector{size});
    ASSERT_EQ(Broken(areas, *after, changed, {size.width_px, size.height_px}), "") << Text(areas) << "changed " << changed;
  }
}

}  // namespace
}  // namespace pelmode
