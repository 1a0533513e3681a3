#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
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

// Every area's place and size once `changed` takes the new size. The rule,
// step by step:
// 1. The changed area keeps its top-left corner and takes the new size;
//    areas equal to it (mirrors) do the same.
// 2. An area that touched it with its right (or bottom) edge lined up with
//    the changed area's right (or bottom) edge follows that edge, keeping
//    the alignment, unless its left (or top) edge was lined up too.
// 3. An area that a growing or moving area runs into is pushed the shorter
//    way out of it, in the direction of that growth or move; an area that
//    moves toward the changed one stops where it meets another instead.
// 4. An area no longer joined to the changed one (through a shared stretch
//    of border, directly or through others) moves back, the first way that
//    rejoins it without overlap: one that sat on the changed area's right or
//    bottom edge follows that edge; else one that touched an area that moved
//    makes the same move; else one that touched the changed area slides
//    along it until their far edges line up. Within each way the least move
//    goes first.
// 5. The whole desktop shifts so that its top-left corner stays where it
//    was; only this moves the changed area's top-left corner, and only when
//    an alignment kept above crossed the desktop's top or left edge (or,
//    on growth, left it).
// Every other area stays exactly where it is. Empty areas never move.
// Empty when the result would overlap where the areas did not, fall into
// more pieces, or leave the coordinate range.
std::optional<std::vector<Area>> ResizedLayout(const std::vector<Area>& areas,
                                               std::size_t changed,
                                               std::uint32_t width_px,
                                               std::uint32_t height_px);

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
