#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelmode {

// The part of the desktop that one monitor shows; an empty area shows
// nothing.
struct Area {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::uint32_t width_px = 0;
  std::uint32_t height_px = 0;

  bool operator==(const Area& other) const {
    return x == other.x && y == other.y && width_px == other.width_px &&
           height_px == other.height_px;
  }
};

struct ScreenSize {
  std::uint32_t width_px = 0;
  std::uint32_t height_px = 0;

  bool operator==(const ScreenSize& other) const {
    return width_px == other.width_px && height_px == other.height_px;
  }
  bool operator!=(const ScreenSize& other) const { return !(*this == other); }
};

// Every area's place and size once `changed` takes the new size. Areas
// with the same place and size (mirrors) are one unit throughout: they move
// as one, and the changed area's mirrors take its new size. Two units are
// joined when they share a stretch of border or overlap, never by a corner
// alone; a piece is units joined directly or through others. The rule:
// 1. The changed unit keeps its top-left corner and takes the new size.
// 2. A unit joined to it with its right (or bottom) edge lined up with the
//    changed unit's follows that edge, keeping the alignment, unless its
//    left (or top) edge was lined up too.
// 3. A unit that a growing or moving unit runs into is pushed the shorter
//    way out of it (sideways on a tie) in the direction of that growth or
//    move; a unit moving toward the changed one stops where it meets
//    another instead. At most 4 n^2 such steps for n units.
// 4. While a piece of the old layout is apart, its units away from its
//    anchor (the changed unit, else the piece's first unit that has not
//    moved) go back, the first way that joins one to the anchor's piece
//    without a new overlap:
//    a. one that shared the right or bottom side of the changed unit, where
//       that edge moved, goes back on that side;
//    b. one joined to a unit that moved makes the same move;
//    c. one that shared any side of the changed unit goes back on it.
//    Back on a side: across, at that side's new edge; along it, as it is or
//    with either end lined up with the side's, wherever it shares a stretch
//    of the side. A move that runs into a unit stops there, never turning
//    back. A unit stays on its side unless the side is now shorter than the
//    stretch they shared, or no way works while it does. A unit moves alone
//    where it can, else with the units joined to it now. Within a way the
//    least move goes first, then the first unit. After 2 n moves,
//    or when no way works, the last resort: every unit not joined to the
//    changed one moves as one beside its piece: to the right, its leftmost
//    unit level with the top of the piece's rightmost, or below, its top
//    unit lined up with the left of the piece's lowest; the lesser move,
//    the right on a tie; again until all is joined.
// 5. The whole desktop shifts so that its top-left corner stays where it
//    was; only this moves the changed unit's top-left corner.
// Every other area stays exactly where it is. Empty areas never move.
// Empty when the result would overlap where the areas did not, fall into
// more pieces, or leave the coordinate range.
std::optional<std::vector<Area>> ResizedLayout(const std::vector<Area>& areas,
                                               std::size_t changed,
                                               std::uint32_t width_px,
                                               std::uint32_t height_px);

// Whether `after` (the same areas, moved or resized) overlaps nowhere
// `before` did not and falls into no more pieces; the check the rule's own
// results pass. Areas empty in either are left out.
bool StaysWhole(const std::vector<Area>& before, const std::vector<Area>& after);

// "1920x1080".
std::string SizeText(ScreenSize size);

// The smallest screen, anchored at the origin, that holds every area.
ScreenSize BoundingScreen(const std::vector<Area>& areas);

// The screen for a layout that needs `needed`, within the server's limits:
// never below the minimum; empty when the layout exceeds the maximum.
std::optional<ScreenSize> ScreenWithinLimits(ScreenSize needed,
                                             ScreenSize minimum,
                                             ScreenSize maximum);

// A screen that holds both the old and the new layout, so the CRTCs can be
// set before the screen shrinks to its final size.
ScreenSize CoveringScreen(ScreenSize before, ScreenSize after);

// The physical size that keeps the screen's dots per inch when it takes a new
// pixel size; 0 when the reference has no size.
std::uint32_t MillimetresAtSameDpi(std::uint32_t new_px, std::uint32_t ref_px,
                                   std::uint32_t ref_mm);

}  // namespace pelmode
