#include "layout_placement.h"

#include <optional>

namespace pelmode::layout {
namespace {

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

}  // namespace

void PlaceMovingBoxes(Desktop& d) {
  for (std::size_t i = 0; i < d.before.size(); ++i) {
    const Box& box = d.before[i];
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
}

}  // namespace pelmode::layout
