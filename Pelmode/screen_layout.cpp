#include "screen_layout.h"

#include <algorithm>
#include <limits>

#include "layout_geometry.h"

namespace pelmode {
namespace {

using namespace layout;

constexpr std::size_t kNone = std::size_t(-1);

// The layout as units: areas with the same place and size (mirrors) are one
// unit, so they move as one.
struct Desktop {
  std::vector<Box> before;
  std::vector<Box> after;
  std::vector<int> moved;  // 0, else the order in which it last moved
  std::size_t changed = 0;
  int moves = 0;
  Box old_box;
  Box new_box;

  std::size_t Size() const { return before.size(); }
  Shift ShiftOf(std::size_t i) const { return Between(before[i], after[i]); }
  void Move(std::size_t i, Shift shift) {
    after[i] = Moved(before[i], shift);
    moved[i] = ++moves;
  }
};

// The areas as units, and each area's unit: kNone for an empty one, which
// is no unit and stays.
struct Units {
  std::vector<Box> boxes;
  std::vector<std::size_t> of_area;
};

Units UnitsOf(const std::vector<Area>& areas) {
  Units units{{}, std::vector<std::size_t>(areas.size(), kNone)};
  for (std::size_t i = 0; i < areas.size(); ++i) {
    if (IsEmpty(areas[i])) continue;
    const Box box = BoxOf(areas[i]);
    const auto same = std::find(units.boxes.begin(), units.boxes.end(), box);
    units.of_area[i] = std::size_t(same - units.boxes.begin());
    if (same == units.boxes.end()) units.boxes.push_back(box);
  }
  return units;
}

Desktop Resized(const std::vector<Box>& boxes, std::size_t changed, std::uint32_t width_px,
                std::uint32_t height_px) {
  Desktop d;
  d.before = boxes;
  d.after = boxes;
  d.moved.assign(boxes.size(), 0);
  d.changed = changed;
  d.old_box = boxes[changed];
  d.new_box = {d.old_box.left, d.old_box.top, d.old_box.left + width_px, d.old_box.top + height_px};
  d.after[changed] = d.new_box;
  return d;
}

// Step 2: a right or bottom edge lined up with the changed unit's moves
// with it, unless the opposite edge is lined up with an edge that stays.
void FollowAlignedEdges(Desktop& d) {
  const Box& o = d.old_box;
  for (std::size_t i = 0; i < d.Size(); ++i) {
    const Box& box = d.before[i];
    if (i == d.changed || !Joined(box, o)) continue;
    Shift shift;
    if (box.right == o.right && box.left != o.left) shift.dx = d.new_box.right - o.right;
    if (box.bottom == o.bottom && box.top != o.top) shift.dy = d.new_box.bottom - o.bottom;
    if (!(shift == Shift{})) d.Move(i, shift);
  }
}

Coord Sign(Coord value) { return (value > 0) - (value < 0); }

// Which way a unit went: growth for the changed one, else its move.
Shift Direction(const Desktop& d, std::size_t i) {
  if (i == d.changed) {
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

// Whether unit `i`, at `box`, overlaps unit `j` where they did not.
bool NewOverlap(const Desktop& d, std::size_t i, const Box& box, std::size_t j) {
  return j != i && Overlap(box, d.after[j]) && !Overlap(d.before[i], d.before[j]);
}

// The way `other` is pushed by `mover`: away from the side it lay on, else
// the shorter way the mover went.
Shift PushDirection(const Desktop& d, std::size_t mover, std::size_t other) {
  const Box& from = mover == d.changed ? d.old_box : d.before[mover];
  const Box& box = d.before[other];
  const Shift direction = Direction(d, mover);
  const Shift beyond = {box.left >= from.right   ? 1
                        : box.right <= from.left ? -1
                                                 : 0,
                        box.top >= from.bottom   ? 1
                        : box.bottom <= from.top ? -1
                                                 : 0};
  Shift push = {beyond.dx == direction.dx ? direction.dx : 0,
                beyond.dy == direction.dy ? direction.dy : 0};
  if (push == Shift{}) push = {direction.dx > 0 ? 1 : 0, direction.dy > 0 ? 1 : 0};
  return push == Shift{} ? direction : push;
}

// Step 3 for one new overlap: `mover` went into `other`. A move toward the
// changed unit is cut short; growth and moves away from it push.
void Separate(Desktop& d, std::size_t mover, std::size_t other) {
  const Shift direction = Direction(d, mover);
  if (mover != d.changed && (direction.dx < 0 || direction.dy < 0)) {
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

// The later of the two to grow or move, which went into the other.
std::size_t Mover(const Desktop& d, std::size_t i, std::size_t j) {
  if (i == d.changed || j == d.changed) return d.changed;
  return d.moved[i] >= d.moved[j] ? i : j;
}

void SeparateOverlaps(Desktop& d) {
  const std::size_t n = d.Size();
  for (std::size_t round = 0; round < 4 * n * n; ++round) {
    bool found = false;
    for (std::size_t i = 0; i < n && !found; ++i) {
      for (std::size_t j = i + 1; j < n && !found; ++j) {
        if (!NewOverlap(d, i, d.after[i], j)) continue;
        const std::size_t mover = Mover(d, i, j);
        Separate(d, mover, mover == i ? j : i);
        found = true;
      }
    }
    if (!found) return;
  }
}

// Each unit's piece, named by its first unit: the units joined to it,
// directly or through others.
std::vector<std::size_t> Pieces(const std::vector<Box>& boxes) {
  std::vector<std::size_t> piece(boxes.size(), kNone);
  for (std::size_t first = 0; first < boxes.size(); ++first) {
    if (piece[first] != kNone) continue;
    std::vector<std::size_t> reached = {first};
    piece[first] = first;
    for (std::size_t next = 0; next < reached.size(); ++next) {
      for (std::size_t i = 0; i < boxes.size(); ++i) {
        if (piece[i] == kNone && Joined(boxes[reached[next]], boxes[i])) {
          piece[i] = first;
          reached.push_back(i);
        }
      }
    }
  }
  return piece;
}

std::size_t CountPieces(const std::vector<Box>& boxes) {
  const std::vector<std::size_t> piece = Pieces(boxes);
  std::size_t count = 0;
  for (std::size_t i = 0; i < piece.size(); ++i) count += piece[i] == i;
  return count;
}

// The side of the changed unit that a unit shared border with: dx 1 right,
// -1 left, dy 1 below, -1 above; none for an overlap or no shared border.
std::optional<Shift> SideOf(const Desktop& d, std::size_t i) {
  const Box& box = d.before[i];
  const Box& o = d.old_box;
  if (!Joined(box, o) || Overlap(box, o)) return std::nullopt;
  return Shift{box.left == o.right   ? 1
               : box.right == o.left ? -1
                                     : 0,
               box.top == o.bottom   ? 1
               : box.bottom == o.top ? -1
                                     : 0};
}

// The places back on the side it shared with the changed unit: across,
// where that side's edge is now; along it, as it is or with either end
// lined up with the side's, wherever it shares a stretch of that side.
std::vector<Shift> OnItsSide(const Desktop& d, std::size_t i) {
  const std::optional<Shift> side = SideOf(d, i);
  if (!side) return {};
  const Box& o = d.old_box;
  const Box& n = d.new_box;
  Shift shift = d.ShiftOf(i);
  if (side->dx != 0) shift.dx = side->dx > 0 ? n.right - o.right : 0;
  if (side->dy != 0) shift.dy = side->dy > 0 ? n.bottom - o.bottom : 0;
  const Box at = Moved(d.before[i], shift);
  std::vector<Shift> places = {shift, shift, shift};
  if (side->dx != 0) {
    places[1].dy += n.top - at.top;
    places[2].dy += n.bottom - at.bottom;
  } else {
    places[1].dx += n.left - at.left;
    places[2].dx += n.right - at.right;
  }
  std::erase_if(places, [&](Shift place) { return !Joined(Moved(d.before[i], place), n); });
  return places;
}

// Step 4's first way: a unit on the right or bottom side follows that
// edge when it moved.
std::vector<Shift> FollowEdgeSatOn(const Desktop& d, std::size_t i) {
  const std::optional<Shift> side = SideOf(d, i);
  const bool edge_moved = side && ((side->dx > 0 && d.new_box.right != d.old_box.right) ||
                                   (side->dy > 0 && d.new_box.bottom != d.old_box.bottom));
  return edge_moved ? OnItsSide(d, i) : std::vector<Shift>{};
}

// A broken piece of the old layout: the pieces now, the one its anchor is
// in, and the units away from it.
struct Split {
  std::vector<std::size_t> piece_after;
  std::size_t home = 0;
  std::vector<bool> detached;
};

// What a piece holds on to: the changed unit, else its first unit that has
// not moved, else its first.
std::size_t Anchor(const Desktop& d, const std::vector<std::size_t>& piece_before,
                   std::size_t piece) {
  if (piece_before[d.changed] == piece) return d.changed;
  for (std::size_t i = piece; i < d.Size(); ++i) {
    if (piece_before[i] == piece && !d.moved[i]) return i;
  }
  return piece;
}

// The first piece of the old layout that the moves broke, the changed
// unit's piece first.
std::optional<Split> FindSplit(const Desktop& d, const std::vector<std::size_t>& piece_before) {
  Split split{Pieces(d.after), 0, std::vector<bool>(d.Size())};
  std::vector<std::size_t> order = {piece_before[d.changed]};
  for (std::size_t i = 0; i < d.Size(); ++i) {
    if (piece_before[i] == i) order.push_back(i);
  }
  for (const std::size_t piece : order) {
    split.home = split.piece_after[Anchor(d, piece_before, piece)];
    bool broken = false;
    for (std::size_t i = 0; i < d.Size(); ++i) {
      split.detached[i] = piece_before[i] == piece && split.piece_after[i] != split.home;
      broken = broken || split.detached[i];
    }
    if (broken) return split;
  }
  return std::nullopt;
}

// A detached unit and the units joined to it now, which move as one.
struct Group {
  std::vector<bool> member;
  Shift by;
};

// The unit alone, or with the units joined to it now, moved so that the
// unit's shift becomes `shift`.
Group GroupOf(const Desktop& d, const Split& split, std::size_t i, Shift shift, bool alone) {
  Group group{std::vector<bool>(d.Size()), {}};
  for (std::size_t j = 0; j < d.Size(); ++j) {
    group.member[j] = j == i || (!alone && split.piece_after[j] == split.piece_after[i]);
  }
  const Shift now = d.ShiftOf(i);
  group.by = {shift.dx - now.dx, shift.dy - now.dy};
  return group;
}

// The group's first new overlap when moved by `by`: the member's new box and
// the unit it runs into.
std::optional<std::pair<Box, std::size_t>> FirstOverlap(const Desktop& d, const Group& group,
                                                        Shift by) {
  for (std::size_t g = 0; g < d.Size(); ++g) {
    if (!group.member[g]) continue;
    const Box box = Moved(d.after[g], by);
    for (std::size_t j = 0; j < d.Size(); ++j) {
      if (!group.member[j] && NewOverlap(d, g, box, j)) return std::make_pair(box, j);
    }
  }
  return std::nullopt;
}

// Cuts a group's move short, the shorter way back, until it overlaps
// nothing it did not; the move never turns around.
Shift StopShort(const Desktop& d, const Group& group) {
  Shift by = group.by;
  for (auto hit = FirstOverlap(d, group, by); hit; hit = FirstOverlap(d, group, by)) {
    const Shift back =
        ShorterWayOut(hit->first, d.after[hit->second], {-Sign(by.dx), -Sign(by.dy)});
    const Shift cut = {by.dx + back.dx, by.dy + back.dy};
    if (Sign(cut.dx) * Sign(by.dx) < 0 || Sign(cut.dy) * Sign(by.dy) < 0) return by;
    by = cut;
  }
  return by;
}

// Whether the group, moved by `by`, is joined to home and overlaps nothing
// it did not.
bool Rejoins(const Desktop& d, const Split& split, const Group& group, Shift by) {
  if (FirstOverlap(d, group, by)) return false;
  for (std::size_t g = 0; g < d.Size(); ++g) {
    for (std::size_t j = 0; group.member[g] && j < d.Size(); ++j) {
      if (split.piece_after[j] == split.home && Joined(Moved(d.after[g], by), d.after[j])) {
        return true;
      }
    }
  }
  return false;
}

// Whether the unit must stay on the side it shared with the changed unit:
// unless that side is now shorter than the stretch they shared.
bool StaysOnItsSide(const Desktop& d, std::size_t i) {
  const std::optional<Shift> side = SideOf(d, i);
  if (!side) return false;
  const Box& box = d.before[i];
  const Box& o = d.old_box;
  const Box& n = d.new_box;
  if (side->dx != 0) {
    return std::min(box.bottom, o.bottom) - std::max(box.top, o.top) <= n.bottom - n.top;
  }
  return std::min(box.right, o.right) - std::max(box.left, o.left) <= n.right - n.left;
}

// The move of a detached unit, alone where it can, else with the units
// joined to it now: cut short where it runs into another, and back on its
// side where it must stay there.
std::optional<Group> MoveBack(const Desktop& d, const Split& split, std::size_t i, Shift shift,
                              bool along_its_side) {
  for (const bool alone : {true, false}) {
    Group group = GroupOf(d, split, i, shift, alone);
    group.by = StopShort(d, group);
    const bool on_its_side =
        !along_its_side || !StaysOnItsSide(d, i) || Joined(Moved(d.after[i], group.by), d.new_box);
    if (on_its_side && Rejoins(d, split, group, group.by)) return group;
  }
  return std::nullopt;
}

// The best way back for any detached unit: the earliest way, then the least
// move, then the first unit. `strict`: units that must stay on their side
// do.
std::optional<Group> BestRejoin(const Desktop& d, const Split& split, bool strict) {
  for (int way = 0; way < 3; ++way) {
    std::optional<Group> best;
    const auto consider = [&](std::size_t i, Shift shift) {
      const std::optional<Group> group = MoveBack(d, split, i, shift, strict && way != 1);
      if (group && (!best || Displacement(group->by) < Displacement(best->by))) best = group;
    };
    for (std::size_t i = 0; i < d.Size(); ++i) {
      if (!split.detached[i]) continue;
      for (const Shift shift : way == 0 ? FollowEdgeSatOn(d, i) : std::vector<Shift>{}) {
        consider(i, shift);
      }
      for (std::size_t p = 0; way == 1 && p < d.Size(); ++p) {
        if (p != i && d.moved[p] && Joined(d.before[i], d.before[p])) consider(i, d.ShiftOf(p));
      }
      for (const Shift shift : way == 2 ? OnItsSide(d, i) : std::vector<Shift>{}) {
        consider(i, shift);
      }
    }
    if (best) return best;
  }
  return std::nullopt;
}

void MoveGroup(Desktop& d, const Group& group) {
  for (std::size_t g = 0; g < d.Size(); ++g) {
    const Shift shift = d.ShiftOf(g);
    if (group.member[g]) d.Move(g, {shift.dx + group.by.dx, shift.dy + group.by.dy});
  }
}

// The move that puts the rest beside home, past its far edge along one axis
// (`down` false: the right, true: the bottom), the rest's nearest unit
// lined up with the start of home's farthest.
Shift Beside(const Desktop& d, const Group& rest, bool down) {
  const auto far = [down](const Box& box) { return down ? box.bottom : box.right; };
  const auto near = [down](const Box& box) { return down ? box.top : box.left; };
  std::size_t farthest = d.changed;
  std::size_t nearest = kNone;
  for (std::size_t i = 0; i < d.Size(); ++i) {
    if (!rest.member[i] && far(d.after[i]) > far(d.after[farthest])) farthest = i;
    if (rest.member[i] && (nearest == kNone || near(d.after[i]) < near(d.after[nearest]))) {
      nearest = i;
    }
  }
  const Box& f = d.after[farthest];
  const Box to = down ? Box{f.left, f.bottom, 0, 0} : Box{f.right, f.top, 0, 0};
  return Between(d.after[nearest], to);
}

// The last resort: every unit apart from the changed unit's piece moves as
// one beside that piece, to the right or below, the lesser move (the right
// on a tie); again until every piece is joined.
void JoinTheRest(Desktop& d) {
  for (std::vector<std::size_t> piece = Pieces(d.after);; piece = Pieces(d.after)) {
    Group rest{std::vector<bool>(d.Size()), {}};
    bool any = false;
    for (std::size_t i = 0; i < d.Size(); ++i) {
      rest.member[i] = piece[i] != piece[d.changed];
      any = any || rest.member[i];
    }
    if (!any) return;
    const Shift right = Beside(d, rest, false);
    const Shift below = Beside(d, rest, true);
    rest.by = Displacement(below) < Displacement(right) ? below : right;
    MoveGroup(d, rest);
  }
}

// Step 4, and the last resort when it finds no way.
void RejoinDetached(Desktop& d) {
  const std::vector<std::size_t> piece_before = Pieces(d.before);
  for (std::size_t round = 0; round < 2 * d.Size(); ++round) {
    const std::optional<Split> split = FindSplit(d, piece_before);
    if (!split) return;
    std::optional<Group> rejoin = BestRejoin(d, *split, true);
    if (!rejoin) rejoin = BestRejoin(d, *split, false);
    if (!rejoin) break;
    MoveGroup(d, *rejoin);
  }
  if (FindSplit(d, piece_before)) JoinTheRest(d);
}

// Step 5.
void KeepOrigin(Desktop& d) {
  constexpr Coord kFar = std::numeric_limits<Coord>::max();
  Box old_start = {kFar, kFar, 0, 0};
  Box new_start = old_start;
  for (std::size_t i = 0; i < d.Size(); ++i) {
    old_start = {std::min(old_start.left, d.before[i].left),
                 std::min(old_start.top, d.before[i].top), 0, 0};
    new_start = {std::min(new_start.left, d.after[i].left), std::min(new_start.top, d.after[i].top),
                 0, 0};
  }
  for (Box& box : d.after) box = Moved(box, Between(new_start, old_start));
}

// Whether `after` overlaps nowhere `before` did not and falls into no
// more pieces.
bool BoxesStayWhole(const std::vector<Box>& before, const std::vector<Box>& after) {
  for (std::size_t i = 0; i < after.size(); ++i) {
    for (std::size_t j = i + 1; j < after.size(); ++j) {
      if (Overlap(after[i], after[j]) && !Overlap(before[i], before[j])) return false;
    }
  }
  return CountPieces(after) <= CountPieces(before);
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

std::optional<std::vector<Area>> ResizedLayout(const std::vector<Area>& areas, std::size_t changed,
                                               std::uint32_t width_px, std::uint32_t height_px) {
  const Units units = UnitsOf(areas);
  const std::size_t changed_unit = units.of_area.at(changed);
  if (changed_unit == kNone) return areas;
  Desktop d = Resized(units.boxes, changed_unit, width_px, height_px);
  FollowAlignedEdges(d);
  SeparateOverlaps(d);
  RejoinDetached(d);
  KeepOrigin(d);
  if (!BoxesStayWhole(d.before, d.after)) return std::nullopt;
  std::vector<Area> result = areas;
  for (std::size_t i = 0; i < areas.size(); ++i) {
    if (units.of_area[i] == kNone) continue;
    const std::optional<Area> area = AreaOf(d.after[units.of_area[i]]);
    if (!area) return std::nullopt;
    result[i] = *area;
  }
  return result;
}

bool StaysWhole(const std::vector<Area>& before, const std::vector<Area>& after) {
  std::vector<Box> old_boxes, new_boxes;
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (IsEmpty(before[i]) || IsEmpty(after[i])) continue;
    old_boxes.push_back(BoxOf(before[i]));
    new_boxes.push_back(BoxOf(after[i]));
  }
  return BoxesStayWhole(old_boxes, new_boxes);
}

std::string SizeText(ScreenSize size) {
  return std::to_string(size.width_px) + "x" + std::to_string(size.height_px);
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
