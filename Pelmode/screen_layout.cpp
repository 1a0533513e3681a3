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

bool IsRightOf(const Box& box, const Box& changed) {
  return Meet(box, changed) && box.left >= changed.right;
}

bool IsBelow(const Box& box, const Box& changed) {
  return Meet(box, changed) && box.top >= changed.bottom;
}

// A box on the top or left that shared a border only with the part of the
// changed box that the change takes away.
bool Loses(const Box& box, const Box& old_box, const Box& new_box) {
  return Joined(box, old_box) && !Joined(box, new_box);
}

// Whether the box must make way for the change: it lies beyond the changed
// box's right or bottom edge, in the way of its new size, or loses its touch.
bool MakesWay(const Box& box, const Box& old_box, const Box& new_box) {
  return IsRightOf(box, old_box) || IsBelow(box, old_box) ||
         (Overlap(box, new_box) && !Overlap(box, old_box)) ||
         Loses(box, old_box, new_box);
}

// Whether the box and the changed box touch along a border, or will overlap.
bool Firmly(const Box& box, const Box& old_box, const Box& new_box) {
  return Joined(box, old_box) || Overlap(box, new_box);
}

// The groups of touching boxes that make way, with those they reach; `free`
// marks the boxes that may move, `anchor` those that stay. A group that
// meets the changed box only at a corner and meets an anchor stays too.
std::vector<std::vector<std::size_t>> MovingBlocks(
    const std::vector<Box>& boxes, const std::vector<bool>& free,
    const std::vector<bool>& anchor, const Box& old_box, const Box& new_box) {
  std::vector<bool> taken(boxes.size(), false);
  std::vector<std::vector<std::size_t>> blocks;
  for (std::size_t seed = 0; seed < boxes.size(); ++seed) {
    if (!free[seed] || taken[seed]) continue;
    if (!MakesWay(boxes[seed], old_box, new_box)) continue;
    std::vector<std::size_t> block = {seed};
    taken[seed] = true;
    bool firm = false;
    bool anchored = false;
    for (std::size_t next = 0; next < block.size(); ++next) {
      const Box& box = boxes[block[next]];
      firm = firm || (MakesWay(box, old_box, new_box) &&
                      Firmly(box, old_box, new_box));
      for (std::size_t i = 0; i < boxes.size(); ++i) {
        if (!Meet(box, boxes[i])) continue;
        anchored = anchored || anchor[i];
        if (!free[i] || taken[i]) continue;
        taken[i] = true;
        block.push_back(i);
      }
    }
    if (firm || !anchored) blocks.push_back(block);
  }
  return blocks;
}

// How far a block beside one edge of the changed box moves along that edge,
// which runs from `start` to `old_end` and now ends at `new_end`: not at all
// when lined up with its start, with the end when lined up with that, else
// as little as keeps it touching.
Coord FollowAlong(std::vector<Span> spans, Coord start, Coord old_end,
                  Coord new_end) {
  const auto shares_border = [&](const Span& s) {
    return s.low < old_end && s.high > start;
  };
  const bool bordered = std::any_of(spans.begin(), spans.end(), shares_border);
  if (bordered) {
    spans.erase(std::remove_if(spans.begin(), spans.end(),
                               [&](const Span& s) { return !shares_border(s); }),
                spans.end());
  }
  for (const Span& s : spans) {
    if (s.low == start) return 0;
  }
  for (const Span& s : spans) {
    if (s.high == old_end) return new_end - old_end;
  }
  Coord lowest = std::numeric_limits<Coord>::max();
  for (const Span& s : spans) lowest = std::min(lowest, s.low);
  // A shared border needs at least a pixel of it; a corner needs none.
  const Coord reach = bordered ? new_end - 1 : new_end;
  return lowest <= reach ? 0 : reach - lowest;
}

// The spans along each edge of the changed box of a block's boxes that touch
// that edge: all on the right and bottom, only those that lose their touch on
// the top and left.
struct Sides {
  std::vector<Span> right, below, above, left;
};

Sides SidesOf(const std::vector<std::size_t>& block,
              const std::vector<Box>& boxes, const Box& old_box,
              const Box& new_box) {
  Sides sides;
  for (std::size_t i : block) {
    const Box& box = boxes[i];
    if (IsRightOf(box, old_box)) sides.right.push_back({box.top, box.bottom});
    if (IsBelow(box, old_box)) sides.below.push_back({box.left, box.right});
    if (!Loses(box, old_box, new_box)) continue;
    if (box.bottom <= old_box.top) sides.above.push_back({box.left, box.right});
    if (box.right <= old_box.left) sides.left.push_back({box.top, box.bottom});
  }
  return sides;
}

Shift BlockShift(const std::vector<std::size_t>& block,
                 const std::vector<Box>& boxes, const Box& old_box,
                 const Box& new_box) {
  const Sides sides = SidesOf(block, boxes, old_box, new_box);
  const Shift corner = {new_box.right - old_box.right,
                        new_box.bottom - old_box.bottom};
  const auto along_rows = [&](const std::vector<Span>& spans) {
    return FollowAlong(spans, old_box.left, old_box.right, new_box.right);
  };
  const auto along_columns = [&](const std::vector<Span>& spans) {
    return FollowAlong(spans, old_box.top, old_box.bottom, new_box.bottom);
  };
  // Beside both edges, only moving with the corner keeps it clear of both.
  if (!sides.right.empty() && !sides.below.empty()) return corner;
  if (!sides.right.empty()) return {corner.dx, along_columns(sides.right)};
  if (!sides.below.empty()) return {along_rows(sides.below), corner.dy};
  if (!sides.above.empty()) return {along_rows(sides.above), 0};
  if (!sides.left.empty()) return {0, along_columns(sides.left)};
  return {};  // only in the way of the new size: pushed clear
}

// Pushes the block right or down, the shorter way each time, until none of
// its boxes overlaps a placed box that it did not overlap before. Each push
// clears one pair for good, so this ends.
Shift PushClear(const std::vector<std::size_t>& block, Shift shift,
                const std::vector<Box>& before, const std::vector<Box>& after,
                const std::vector<bool>& placed) {
  for (;;) {
    Coord right = 0;
    Coord down = 0;
    for (std::size_t i = 0; i < block.size() && right == 0; ++i) {
      const Box box = Moved(before[block[i]], shift);
      for (std::size_t p = 0; p < after.size() && right == 0; ++p) {
        if (!placed[p] || !Overlap(box, after[p])) continue;
        if (Overlap(before[block[i]], before[p])) continue;
        right = after[p].right - box.left;
        down = after[p].bottom - box.top;
      }
    }
    if (right == 0) return shift;
    if (right <= down) {
      shift.dx += right;
    } else {
      shift.dy += down;
    }
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
  std::vector<Box> before;
  std::vector<bool> active;
  for (const Area& area : areas) {
    before.push_back(BoxOf(area));
    active.push_back(!IsEmpty(area));
  }
  const Box old_box = before.at(changed);
  const Box new_box = {old_box.left, old_box.top, old_box.left + width_px,
                       old_box.top + height_px};
  std::vector<Box> after = before;
  std::vector<bool> placed = active;  // what stays is placed already
  std::vector<bool> free(areas.size(), false);
  std::vector<bool> anchor(areas.size(), false);
  for (std::size_t i = 0; i < areas.size(); ++i) {
    if (!active[i]) continue;
    if (i == changed || before[i] == old_box) {
      after[i] = new_box;  // the changed area and its mirrors
      continue;
    }
    // What touches the changed area on its left or top stays, and so
    // anchors what touches it.
    free[i] = !Meet(before[i], old_box) || MakesWay(before[i], old_box, new_box);
    anchor[i] = !free[i];
  }
  const auto blocks = MovingBlocks(before, free, anchor, old_box, new_box);
  for (const auto& block : blocks) {
    for (std::size_t i : block) placed[i] = false;
  }
  for (const auto& block : blocks) {
    const Shift shift = PushClear(
        block, BlockShift(block, before, old_box, new_box), before, after, placed);
    for (std::size_t i : block) {
      after[i] = Moved(before[i], shift);
      placed[i] = true;
    }
  }
  KeepOrigin(before, after, active);
  if (!StaysWhole(before, after, active)) return std::nullopt;

  std::vector<Area> result = areas;
  for (std::size_t i = 0; i < areas.size(); ++i) {
    if (!active[i]) continue;
    const std::optional<Area> area = AreaOf(after[i]);
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
