#include "screen_layout.h"

#include <algorithm>
#include <limits>

#include "layout_geometry.h"

namespace pelmode {
namespace {

using namespace layout;

struct Desktop {
  std::vector<Box> before;
  std::vector<Box> after;
  std::vector<bool> active;
  std::vector<bool> resized;  // the changed area and its mirrors
  std::vector<int> moved;     // 0, else the order in which it moved
  int moves = 0;
  Box old_box;
  Box new_box;

  bool Movable(std::size_t i) const { return active[i] && !resized[i]; }
  Shift ShiftOf(std::size_t i) const { return Between(before[i], after[i]); }
  void Move(std::size_t i, Shift shift) {
    after[i] = Moved(before[i], shift);
    moved[i] = ++moves;
  }
};

Desktop Resized(const std::vector<Area>& areas, std::size_t changed, std::uint32_t width_px,
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
  d.moved.assign(areas.size(), 0);
  for (std::size_t i = 0; i < areas.size(); ++i) {
    d.resized.push_back(d.active[i] && (i == changed || d.before[i] == d.old_box));
    if (d.resized[i]) d.after[i] = d.new_box;
  }
  return d;
}

// Step 2: a right or bottom edge lined up with the changed area's moves
// with it, unless the opposite edge is lined up with an edge that stays.
void FollowAlignedEdges(Desktop& d) {
  const Box& o = d.old_box;
  for (std::size_t i = 0; i < d.before.size(); ++i) {
    const Box& box = d.before[i];
    if (!d.Movable(i) || !Meet(box, o)) continue;
    Shift shift;
    if (box.right == o.right && box.left != o.left) shift.dx = d.new_box.right - o.right;
    if (box.bottom == o.bottom && box.top != o.top) shift.dy = d.new_box.bottom - o.bottom;
    if (!(shift == Shift{})) d.Move(i, shift);
  }
}

Coord Sign(Coord value) { return (value > 0) - (value < 0); }

// Which way an area went: growth for the changed one, else its move.
Shift Direction(const Desktop& d, std::size_t i) {
  if (d.resized[i]) {
    return {Sign(d.new_box.right - d.old_box.right), Sign(d.new_box.bottom - d.old_box.bottom)};
  }
  const Shift shift = d.ShiftOf(i);
  return {Sign(shift.dx), Sign(shift.dy)};
}

// The shorter of the moves, along the directions given, that takes `box`
// clear of `obstacle`.
Shift ShorterWayOut(const Box& box, const Box& obstacle, Shift direction) {
  const Coord dx = direction.dx > 0 ? obstacle.right - box.left : obstacle.left - box.right;
  const Coord dy = direction.dy > 0 ? obstacle.bottom - box.top : obstacle.top - box.bottom;
  if (direction.dy == 0 || (direction.dx != 0 && Magnitude(dx) <= Magnitude(dy))) {
    return {dx, 0};
  }
  return {0, dy};
}

// Cuts a move toward the changed area short, the shorter way back, until
// the area overlaps nothing it did not; the move never turns around.
Shift StopShort(const Desktop& d, std::size_t i, Shift shift) {
  for (std::size_t j = 0; j < d.before.size(); ++j) {
    const Box box = Moved(d.before[i], shift);
    if (j == i || !d.active[j] || !Overlap(box, d.after[j]) ||
        Overlap(d.before[i], d.before[j])) {
      continue;
    }
    const Shift back = ShorterWayOut(box, d.after[j], {-Sign(shift.dx), -Sign(shift.dy)});
    const Shift cut = {shift.dx + back.dx, shift.dy + back.dy};
    if (Sign(cut.dx) * Sign(shift.dx) < 0 || Sign(cut.dy) * Sign(shift.dy) < 0) return shift;
    shift = cut;
    j = std::size_t(-1);  // look again from the first
  }
  return shift;
}

// The way `other` is pushed by `mover`: away from the side it lay on, else
// the shorter way the mover went.
Shift PushDirection(const Desktop& d, std::size_t mover, std::size_t other) {
  const Box& from = d.resized[mover] ? d.old_box : d.before[mover];
  const Box& box = d.before[other];
  const Shift direction = Direction(d, mover);
  const Shift beyond = {box.left >= from.right ? 1 : box.right <= from.left ? -1 : 0,
                        box.top >= from.bottom ? 1 : box.bottom <= from.top ? -1 : 0};
  Shift push = {beyond.dx == direction.dx ? direction.dx : 0,
                beyond.dy == direction.dy ? direction.dy : 0};
  if (push == Shift{}) push = {direction.dx > 0 ? 1 : 0, direction.dy > 0 ? 1 : 0};
  return push == Shift{} ? direction : push;
}

// Step 3 for one new overlap: `mover` went into `other`. A move toward the
// changed area is cut short; growth and moves away from it push.
void Separate(Desktop& d, std::size_t mover, std::size_t other) {
  const Shift direction = Direction(d, mover);
  if (!d.resized[mover] && (direction.dx < 0 || direction.dy < 0)) {
    const Shift shift = d.ShiftOf(mover);
    const Shift back = ShorterWayOut(d.after[mover], d.after[other],
                                     {direction.dx < 0 ? 1 : 0, direction.dy < 0 ? 1 : 0});
    d.Move(mover, {shift.dx + back.dx, shift.dy + back.dy});
    return;
  }
  const Shift out = ShorterWayOut(d.after[other], d.after[mover], PushDirection(d, mover, other));
  const Shift shift = d.ShiftOf(other);
  d.Move(other, {shift.dx + out.dx, shift.dy + out.dy});
}

bool NewOverlap(const Desktop& d, std::size_t i, std::size_t j) {
  return d.active[i] && d.active[j] && Overlap(d.after[i], d.after[j]) &&
         !Overlap(d.before[i], d.before[j]);
}

// The later of the two to grow or move, which went into the other.
std::size_t Mover(const Desktop& d, std::size_t i, std::size_t j) {
  if (d.resized[i] != d.resized[j]) return d.resized[i] ? i : j;
  return d.moved[i] >= d.moved[j] ? i : j;
}

void SeparateOverlaps(Desktop& d) {
  const std::size_t n = d.before.size();
  for (std::size_t round = 0; round < 4 * n * n; ++round) {
    bool found = false;
    for (std::size_t i = 0; i < n && !found; ++i) {
      for (std::size_t j = i + 1; j < n && !found; ++j) {
        if (!NewOverlap(d, i, j) || (d.resized[i] && d.resized[j])) continue;
        const std::size_t mover = Mover(d, i, j);
        Separate(d, mover, mover == i ? j : i);
        found = true;
      }
    }
    if (!found) return;
  }
}

// The areas that touch the changed one, directly or through others.
std::vector<bool> JoinedToChanged(const Desktop& d, const std::vector<Box>& boxes) {
  const std::size_t n = boxes.size();
  std::vector<bool> joined(n, false);
  std::vector<std::size_t> reached;
  for (std::size_t i = 0; i < n; ++i) {
    if (d.resized[i]) joined[i] = true, reached.push_back(i);
  }
  for (std::size_t next = 0; next < reached.size(); ++next) {
    for (std::size_t i = 0; i < n; ++i) {
      if (d.active[i] && !joined[i] && Meet(boxes[reached[next]], boxes[i])) {
        joined[i] = true;
        reached.push_back(i);
      }
    }
  }
  return joined;
}

// The least move along one axis that makes a stretch of `low`..`high`,
// lying past `n_high`, share as much border with `n_low`..`n_high` as the
// shorter of the two allows.
Coord Level(Coord low, Coord high, Coord n_low, Coord n_high) {
  if (low < n_high) return 0;
  return high - low <= n_high - n_low ? n_high - high : n_low - low;
}

// Step 4's first way: follow the right or bottom edge the area sat on, and
// come level where the change left the area past the changed one's end.
std::optional<Shift> FollowEdgeSatOn(const Desktop& d, std::size_t i) {
  const Box& box = d.before[i];
  const Box& o = d.old_box;
  const Box& n = d.new_box;
  const bool on_right = box.left == o.right && RowsMeet(box, o) && n.right != o.right;
  const bool below = box.top == o.bottom && ColumnsMeet(box, o) && n.bottom != o.bottom;
  if (!on_right && !below) return std::nullopt;
  Shift shift = d.ShiftOf(i);
  if (on_right) shift.dx = n.right - o.right;
  if (below) shift.dy = n.bottom - o.bottom;
  const Box moved = Moved(box, shift);
  if (on_right && !below) shift.dy += Level(moved.top, moved.bottom, n.top, n.bottom);
  if (below && !on_right) shift.dx += Level(moved.left, moved.right, n.left, n.right);
  return shift;
}

// Step 4's last way: slide along the changed area until level with it.
std::optional<Shift> SlideAlong(const Desktop& d, std::size_t i) {
  if (!Meet(d.before[i], d.old_box)) return std::nullopt;
  const Box& box = d.after[i];
  const Box& n = d.new_box;
  Shift shift = d.ShiftOf(i);
  shift.dy += Level(box.top, box.bottom, n.top, n.bottom);
  shift.dx += Level(box.left, box.right, n.left, n.right);
  return shift;
}

// Whether the area, moved so, touches the changed one's piece and overlaps
// nothing it did not.
bool Rejoins(const Desktop& d, const std::vector<bool>& joined, std::size_t i, Shift shift) {
  const Box box = Moved(d.before[i], shift);
  bool touches = false;
  for (std::size_t j = 0; j < d.before.size(); ++j) {
    if (j == i || !d.active[j]) continue;
    if (Overlap(box, d.after[j]) && !Overlap(d.before[i], d.before[j])) return false;
    touches = touches || (joined[j] && Meet(box, d.after[j]));
  }
  return touches;
}

struct Rejoin {
  std::size_t area;
  Shift shift;
};

// The best way back for any detached area: the earliest way, then the least
// move.
std::optional<Rejoin> BestRejoin(const Desktop& d, const std::vector<bool>& detached,
                                 const std::vector<bool>& joined) {
  const std::size_t n = d.before.size();
  for (int way = 0; way < 3; ++way) {
    std::optional<Rejoin> best;
    const auto consider = [&](std::size_t i, std::optional<Shift> shift) {
      if (shift) shift = StopShort(d, i, *shift);
      if (!shift || !Rejoins(d, joined, i, *shift)) return;
      if (!best || Displacement(*shift) < Displacement(best->shift)) best = Rejoin{i, *shift};
    };
    for (std::size_t i = 0; i < n; ++i) {
      if (!detached[i]) continue;
      if (way == 0) consider(i, FollowEdgeSatOn(d, i));
      for (std::size_t p = 0; way == 1 && p < n; ++p) {
        if (d.moved[p] && Joined(d.before[i], d.before[p])) consider(i, d.ShiftOf(p));
      }
      if (way == 2) consider(i, SlideAlong(d, i));
    }
    if (best) return best;
  }
  return std::nullopt;
}

void RejoinDetached(Desktop& d) {
  const std::vector<bool> joined_before = JoinedToChanged(d, d.before);
  for (std::size_t round = 0; round < d.before.size(); ++round) {
    const std::vector<bool> joined = JoinedToChanged(d, d.after);
    std::vector<bool> detached(d.before.size(), false);
    for (std::size_t i = 0; i < d.before.size(); ++i) {
      detached[i] = d.Movable(i) && joined_before[i] && !joined[i];
    }
    const std::optional<Rejoin> rejoin = BestRejoin(d, detached, joined);
    if (!rejoin) return;
    d.Move(rejoin->area, rejoin->shift);
  }
}

// Step 5.
void KeepOrigin(Desktop& d) {
  constexpr Coord kFar = std::numeric_limits<Coord>::max();
  Box old_start = {kFar, kFar, 0, 0};
  Box new_start = old_start;
  for (std::size_t i = 0; i < d.before.size(); ++i) {
    if (!d.active[i]) continue;
    old_start = {std::min(old_start.left, d.before[i].left),
                 std::min(old_start.top, d.before[i].top), 0, 0};
    new_start = {std::min(new_start.left, d.after[i].left),
                 std::min(new_start.top, d.after[i].top), 0, 0};
  }
  for (std::size_t i = 0; i < d.after.size(); ++i) {
    if (d.active[i]) d.after[i] = Moved(d.after[i], Between(new_start, old_start));
  }
}

std::size_t Pieces(const Desktop& d, const std::vector<Box>& boxes) {
  std::vector<bool> seen(boxes.size(), false);
  std::size_t pieces = 0;
  for (std::size_t first = 0; first < boxes.size(); ++first) {
    if (!d.active[first] || seen[first]) continue;
    ++pieces;
    std::vector<std::size_t> piece = {first};
    seen[first] = true;
    for (std::size_t next = 0; next < piece.size(); ++next) {
      for (std::size_t i = 0; i < boxes.size(); ++i) {
        if (d.active[i] && !seen[i] && Joined(boxes[piece[next]], boxes[i])) {
          seen[i] = true;
          piece.push_back(i);
        }
      }
    }
  }
  return pieces;
}

bool StaysWhole(const Desktop& d) {
  for (std::size_t i = 0; i < d.after.size(); ++i) {
    for (std::size_t j = i + 1; j < d.after.size(); ++j) {
      if (NewOverlap(d, i, j)) return false;
    }
  }
  return Pieces(d, d.after) <= Pieces(d, d.before);
}

std::optional<Area> AreaOf(const Box& box) {
  constexpr Coord kMin = std::numeric_limits<std::int32_t>::min();
  constexpr Coord kMax = std::numeric_limits<std::int32_t>::max();
  if (box.left < kMin || box.top < kMin || box.left > kMax || box.top > kMax) {
    return std::nullopt;
  }
  return Area{std::int32_t(box.left), std::int32_t(box.top), std::uint32_t(box.right - box.left),
              std::uint32_t(box.bottom - box.top)};
}

}  // namespace

std::optional<std::vector<Area>> ResizedLayout(const std::vector<Area>& areas,
                                               std::size_t changed, std::uint32_t width_px,
                                               std::uint32_t height_px) {
  Desktop d = Resized(areas, changed, width_px, height_px);
  FollowAlignedEdges(d);
  SeparateOverlaps(d);
  RejoinDetached(d);
  KeepOrigin(d);
  if (!StaysWhole(d)) return std::nullopt;
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
  return {std::uint32_t(std::min(right, kMax)), std::uint32_t(std::min(bottom, kMax))};
}

std::optional<ScreenSize> ScreenWithinLimits(ScreenSize needed, ScreenSize minimum,
                                             ScreenSize maximum) {
  if (needed.width_px > maximum.width_px || needed.height_px > maximum.height_px) {
    return std::nullopt;
  }
  return ScreenSize{std::max(needed.width_px, minimum.width_px),
                    std::max(needed.height_px, minimum.height_px)};
}

ScreenSize CoveringScreen(ScreenSize before, ScreenSize after) {
  return {std::max(before.width_px, after.width_px), std::max(before.height_px, after.height_px)};
}

std::uint32_t MillimetresAtSameDpi(std::uint32_t new_px, std::uint32_t ref_px,
                                   std::uint32_t ref_mm) {
  if (ref_px == 0) return 0;
  return std::uint32_t((std::uint64_t(new_px) * ref_mm + ref_px / 2) / ref_px);
}

}  // namespace pelmode
