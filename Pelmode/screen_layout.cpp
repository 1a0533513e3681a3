#include "screen_layout.h"

#include <algorithm>
#include <limits>

namespace pelmode {
namespace {

using Coord = std::int64_t;  // room for every sum of two 32-bit values

struct Box {
  Coord left, top, right, bottom;

  bool operator==(const Box& other) const {
    return left == other.left && top == other.top && right == other.right &&
           bottom == other.bottom;
  }
};

struct Shift {
  Coord dx = 0;
  Coord dy = 0;
};

// One side of an area, as the interval it covers along the changed area.
struct Span {
  Coord low, high;
};

Box BoxOf(const Area& area) {
  return {area.x, area.y, area.x + Coord(area.width_px),
          area.y + Coord(area.height_px)};
}

bool IsEmpty(const Area& area) {
  return area.width_px == 0 || area.height_px == 0;
}

Box Moved(const Box& box, Shift shift) {
  return {box.left + shift.dx, box.top + shift.dy, box.right + shift.dx,
          box.bottom + shift.dy};
}

bool Overlap(const Box& a, const Box& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom &&
         b.top < a.bottom;
}

// The outlines meet: an overlap, a shared stretch of border or a corner.
bool Meet(const Box& a, const Box& b) {
  return a.left <= b.right && b.left <= a.right && a.top <= b.bottom &&
         b.top <= a.bottom;
}

// A stretch of border in common (or an overlap): the pointer can cross.
bool Joined(const Box& a, const Box& b) {
  const bool columns_overlap = a.left < b.right && b.left < a.right;
  const bool rows_overlap = a.top < b.bottom && b.top < a.bottom;
  return Meet(a, b) && (columns_overlap || rows_overlap);
}

bool RowsMeet(const Box& a, const Box& b) {
  return a.top <= b.bottom && b.top <= a.bottom;
}

bool ColumnsMeet(const Box& a, const Box& b) {
  return a.left <= b.right && b.left <= a.right;
}

Coord Displacement(Shift shift) {
  return (shift.dx < 0 ? -shift.dx : shift.dx) +
         (shift.dy < 0 ? -shift.dy : shift.dy);
}

// The boxes before and after: which take the new size (the changed one and
// its mirrors), which stay whatever happens (those attached to the changed
// box's left or top), and which are placed already.
struct Desktop {
  std::vector<Box> before;
  std::vector<Box> after;
  std::vector<bool> active;
  std::vector<bool> resized;
  std::vector<bool> anchored;
  std::vector<bool> placed;
  Box old_box;
  Box new_box;
};

// Whether another box stands between the changed box and box `i`, in the
// direction `beyond` tells (true when a box lies past the changed box).
template <typename Beyond, typename Level>
bool Hidden(const Desktop& d, std::size_t i, Beyond beyond, Level level) {
  for (std::size_t o = 0; o < d.before.size(); ++o) {
    if (o == i || !d.active[o] || d.resized[o]) continue;
    if (beyond(d.before[o], d.before[i]) && level(d.before[o], d.before[i]) &&
        level(d.before[o], d.old_box)) {
      return true;
    }
  }
  return false;
}

// Beyond the changed box's right edge, level with it or corner to corner,
// and nothing between them.
bool FacesRight(const Desktop& d, std::size_t i) {
  const Box& box = d.before[i];
  const Coord edge = d.old_box.right;
  return box.left >= edge && RowsMeet(box, d.old_box) &&
         !Hidden(d, i, [&](const Box& o, const Box& b) {
           return o.left >= edge && o.right <= b.left;
         }, RowsMeet);
}

bool FacesBelow(const Desktop& d, std::size_t i) {
  const Box& box = d.before[i];
  const Coord edge = d.old_box.bottom;
  return box.top >= edge && ColumnsMeet(box, d.old_box) &&
         !Hidden(d, i, [&](const Box& o, const Box& b) {
           return o.top >= edge && o.bottom <= b.top;
         }, ColumnsMeet);
}

// A box on the top or left that shared a border only with the part of the
// changed box that the change takes away.
bool Loses(const Box& box, const Box& old_box, const Box& new_box) {
  return Joined(box, old_box) && !Joined(box, new_box);
}

// Whether the box must make way for the change: it lies beyond the changed
// box's right or bottom edge, in the way of its new size, or loses its touch.
bool MakesWay(const Box& box, const Box& old_box, const Box& new_box) {
  return (Meet(box, old_box) &&
          (box.left >= old_box.right || box.top >= old_box.bottom)) ||
         (Overlap(box, new_box) && !Overlap(box, old_box)) ||
         Loses(box, old_box, new_box);
}

// The boxes that make way, with every box they reach through boxes that
// touch, short of those anchored.
std::vector<std::size_t> Movers(const Desktop& d) {
  const std::size_t n = d.before.size();
  std::vector<bool> taken(n, false);
  std::vector<std::size_t> movers;
  const auto can_move = [&](std::size_t i) {
    return d.active[i] && !d.resized[i] && !d.anchored[i] && !taken[i];
  };
  for (std::size_t i = 0; i < n; ++i) {
    if (can_move(i) && MakesWay(d.before[i], d.old_box, d.new_box)) {
      taken[i] = true;
      movers.push_back(i);
    }
  }
  for (std::size_t next = 0; next < movers.size(); ++next) {
    for (std::size_t i = 0; i < n; ++i) {
      if (!can_move(i) || !Meet(d.before[movers[next]], d.before[i])) continue;
      taken[i] = true;
      movers.push_back(i);
    }
  }
  return movers;
}

// How far a box beside one edge of the changed box moves along that edge,
// which runs from `start` to `old_end` and now ends at `new_end`: not at all
// when lined up with its start, with the end when lined up with that (or
// starting where it ends), else as little as keeps it touching.
Coord FollowAlong(Coord low, Coord high, Coord start, Coord old_end,
                  Coord new_end) {
  if (low == start) return 0;
  if (high == old_end || low == old_end) return new_end - old_end;
  // A shared border needs at least a pixel of it; a corner needs none.
  const bool bordered = low < old_end && high > start;
  const Coord reach = bordered ? new_end - 1 : new_end;
  return low <= reach ? 0 : reach - low;
}

// Where the box goes to keep its place beside the changed box, if it has
// one there. `leads` tells that nothing else may place it: it faces an edge
// of the changed box (not just a corner) or loses its touch.
std::optional<Shift> FollowChanged(const Desktop& d, std::size_t i,
                                   bool* leads) {
  const Box& box = d.before[i];
  const Box& o = d.old_box;
  const Box& n = d.new_box;
  const bool right = FacesRight(d, i);
  const bool below = FacesBelow(d, i);
  const bool in_way = Overlap(box, n) && !Overlap(box, o);
  *leads = Loses(box, o, n) ||
           (right && box.top < o.bottom && box.bottom > o.top) ||
           (below && box.left < o.right && box.right > o.left);
  if (right && below) return Shift{n.right - box.left, n.bottom - box.top};
  if (right) {
    return Shift{n.right - box.left,
                 FollowAlong(box.top, box.bottom, o.top, o.bottom, n.bottom)};
  }
  if (below) {
    return Shift{FollowAlong(box.left, box.right, o.left, o.right, n.right),
                 n.bottom - box.top};
  }
  if (Loses(box, o, n) && box.bottom <= o.top) {
    return Shift{FollowAlong(box.left, box.right, o.left, o.right, n.right), 0};
  }
  if (Loses(box, o, n) && box.right <= o.left) {
    return Shift{0, FollowAlong(box.top, box.bottom, o.top, o.bottom, n.bottom)};
  }
  if (in_way) return Shift{};  // pushed clear when placed
  return std::nullopt;
}

// The places a box may take: beside the changed box, or, unless that place
// is the only one, moved as a placed box it touched has moved, or where it
// is if it shares a border there with a placed box it shared one with
// before (or with any placed box, where it has no place beside the changed
// box).
std::vector<Shift> Candidates(const Desktop& d, std::size_t i) {
  std::vector<Shift> shifts;
  bool leads = false;
  const auto beside = FollowChanged(d, i, &leads);
  if (beside) shifts.push_back(*beside);
  if (leads) return shifts;
  bool held = false;
  for (std::size_t p = 0; p < d.before.size(); ++p) {
    if (!d.placed[p]) continue;
    const bool still = d.after[p] == d.before[p];
    held = held || (Joined(d.before[i], d.after[p]) &&
                    (!beside || (still && Joined(d.before[i], d.before[p]))));
    if (still || d.resized[p] || !Meet(d.before[i], d.before[p])) continue;
    shifts.push_back({d.after[p].left - d.before[p].left,
                      d.after[p].top - d.before[p].top});
  }
  if (held) shifts.push_back({});
  return shifts;
}

// The first placed box that the box would overlap, where it did not before.
std::optional<std::size_t> Obstacle(const Desktop& d, std::size_t i,
                                    Shift shift) {
  const Box box = Moved(d.before[i], shift);
  for (std::size_t p = 0; p < d.before.size(); ++p) {
    if (d.placed[p] && Overlap(box, d.after[p]) &&
        !Overlap(d.before[i], d.before[p])) {
      return p;
    }
  }
  return std::nullopt;
}

// Pushes the box right or down, the shorter way each time, until it is
// clear. Each push clears one placed box for good, so this ends.
Shift PushClear(const Desktop& d, std::size_t i, Shift shift) {
  while (const auto p = Obstacle(d, i, shift)) {
    const Box box = Moved(d.before[i], shift);
    const Coord right = d.after[*p].right - box.left;
    const Coord down = d.after[*p].bottom - box.top;
    if (right <= down) {
      shift.dx += right;
    } else {
      shift.dy += down;
    }
  }
  return shift;
}

struct Choice {
  std::size_t box;
  Shift shift;
  Coord displacement;
};

// Places the moving boxes one at a time, the one that moves least first,
// each clear of those placed; when none has a clear place, the one that
// would move least is pushed clear.
void PlaceMovers(Desktop& d, const std::vector<std::size_t>& movers) {
  for (std::size_t left = movers.size(); left > 0; --left) {
    std::optional<Choice> clear;
    std::optional<Choice> any;
    for (std::size_t i : movers) {
      if (d.placed[i]) continue;
      for (const Shift& shift : Candidates(d, i)) {
        const Choice choice = {i, shift, Displacement(shift)};
        if (!any || choice.displacement < any->displacement) any = choice;
        if (Obstacle(d, i, shift)) continue;
        if (!clear || choice.displacement < clear->displacement) clear = choice;
      }
    }
    if (!any) return;  // the rest stay where they are
    const Choice chosen = clear ? *clear : *any;
    const Shift shift =
        clear ? chosen.shift : PushClear(d, chosen.box, chosen.shift);
    d.after[chosen.box] = Moved(d.before[chosen.box], shift);
    d.placed[chosen.box] = true;
  }
}

// Shifts the whole desktop so that it starts where it started.
void KeepOrigin(const std::vector<Box>& before, std::vector<Box>& after,
                const std::vector<bool>& active) {
  Box old_start = {std::numeric_limits<Coord>::max(),
                   std::numeric_limits<Coord>::max(), 0, 0};
  Box new_start = old_start;
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (!active[i]) continue;
    old_start.left = std::min(old_start.left, before[i].left);
    old_start.top = std::min(old_start.top, before[i].top);
    new_start.left = std::min(new_start.left, after[i].left);
    new_start.top = std::min(new_start.top, after[i].top);
  }
  const Shift shift = {old_start.left - new_start.left,
                       old_start.top - new_start.top};
  for (std::size_t i = 0; i < after.size(); ++i) {
    if (active[i]) after[i] = Moved(after[i], shift);
  }
}

// How many pieces the desktop falls into, counting only shared borders.
std::size_t Pieces(const std::vector<Box>& boxes,
                   const std::vector<bool>& active) {
  std::vector<bool> seen(boxes.size(), false);
  std::size_t pieces = 0;
  for (std::size_t first = 0; first < boxes.size(); ++first) {
    if (!active[first] || seen[first]) continue;
    ++pieces;
    std::vector<std::size_t> piece = {first};
    seen[first] = true;
    for (std::size_t next = 0; next < piece.size(); ++next) {
      for (std::size_t i = 0; i < boxes.size(); ++i) {
        if (!active[i] || seen[i] || !Joined(boxes[piece[next]], boxes[i])) {
          continue;
        }
        seen[i] = true;
        piece.push_back(i);
      }
    }
  }
  return pieces;
}

bool StaysWhole(const std::vector<Box>& before, const std::vector<Box>& after,
                const std::vector<bool>& active) {
  for (std::size_t i = 0; i < after.size(); ++i) {
    for (std::size_t j = i + 1; j < after.size(); ++j) {
      if (active[i] && active[j] && Overlap(after[i], after[j]) &&
          !Overlap(before[i], before[j])) {
        return false;
      }
    }
  }
  return Pieces(after, active) <= Pieces(before, active);
}

std::optional<Area> AreaOf(const Box& box) {
  constexpr Coord kMin = std::numeric_limits<std::int32_t>::min();
  constexpr Coord kMax = std::numeric_limits<std::int32_t>::max();
  if (box.left < kMin || box.top < kMin || box.left > kMax || box.top > kMax) {
    return std::nullopt;
  }
  return Area{std::int32_t(box.left), std::int32_t(box.top),
              std::uint32_t(box.right - box.left),
              std::uint32_t(box.bottom - box.top)};
}

}  // namespace

std::optional<std::vector<Area>> ResizedLayout(const std::vector<Area>& areas,
                                               std::size_t changed,
                                               std::uint32_t width_px,
                                               std::uint32_t height_px) {
  Desktop d;
  for (const Area& area : areas) {
    d.before.push_back(BoxOf(area));
    d.active.push_back(!IsEmpty(area));
  }
  d.old_box = d.before.at(changed);
  d.new_box = {d.old_box.left, d.old_box.top, d.old_box.left + width_px,
               d.old_box.top + height_px};
  d.after = d.before;
  d.placed = d.active;
  for (std::size_t i = 0; i < areas.size(); ++i) {
    const Box& box = d.before[i];
    d.resized.push_back(d.active[i] && (i == changed || box == d.old_box));
    if (d.resized[i]) d.after[i] = d.new_box;
    d.anchored.push_back(d.active[i] && !d.resized[i] && Meet(box, d.old_box) &&
                         !MakesWay(box, d.old_box, d.new_box));
  }
  // Those that follow the changed box go first; the others then take the
  // place of what they touched.
  std::vector<std::size_t> leaders;
  std::vector<std::size_t> followers;
  for (std::size_t i : Movers(d)) {
    bool leads = false;
    FollowChanged(d, i, &leads);
    (leads ? leaders : followers).push_back(i);
    d.placed[i] = false;
  }
  PlaceMovers(d, leaders);
  PlaceMovers(d, followers);
  KeepOrigin(d.before, d.after, d.active);
  if (!StaysWhole(d.before, d.after, d.active)) return std::nullopt;

  std::vector<Area> result = areas;
  for (std::size_t i = 0; i < areas.size(); ++i) {
    if (!d.active[i]) continue;
    const std::optional<Area> area = AreaOf(d.after[i]);
    if (!area) return std::nullopt;
    result[i] = *area;
  }
  return result;
}

ScreenSize BoundingScreen(const std::vector<Area>& areas) {
  std::int64_t right = 0;
  std::int64_t bottom = 0;
  for (const Area& area : areas) {
    right = std::max(right, std::int64_t(area.x) + area.width_px);
    bottom = std::max(bottom, std::int64_t(area.y) + area.height_px);
  }
  constexpr std::int64_t kMax = std::numeric_limits<std::uint32_t>::max();
  return {std::uint32_t(std::min(right, kMax)),
          std::uint32_t(std::min(bottom, kMax))};
}

std::optional<ScreenSize> ScreenWithinLimits(ScreenSize needed,
                                             ScreenSize minimum,
                                             ScreenSize maximum) {
  if (needed.width_px > maximum.width_px ||
      needed.height_px > maximum.height_px) {
    return std::nullopt;
  }
  return ScreenSize{std::max(needed.width_px, minimum.width_px),
                    std::max(needed.height_px, minimum.height_px)};
}

ScreenSize CoveringScreen(ScreenSize before, ScreenSize after) {
  return {std::max(before.width_px, after.width_px),
          std::max(before.height_px, after.height_px)};
}

std::uint32_t MillimetresAtSameDpi(std::uint32_t new_px, std::uint32_t ref_px,
                                   std::uint32_t ref_mm) {
  if (ref_px == 0) return 0;
  return std::uint32_t((std::uint64_t(new_px) * ref_mm + ref_px / 2) / ref_px);
}

}  // namespace pelmode
