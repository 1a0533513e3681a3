#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace pelmode {

// The part of the desktop that one output (or one CRTC) shows; an empty area
// shows nothing.
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

// Every area's place and size once `changed` takes the new size, keeping the
// desktop whole:
// - `changed` keeps its top-left corner, and areas equal to it (mirrors)
//   follow it;
// - areas facing its right or bottom edge move with that edge, keeping their
//   top, bottom, left or right edge lined up with it, or else moving as
//   little as keeps them touching; those the change would cut off or run
//   into move too, and the areas they touch follow them; areas attached to
//   its left or top stay;
// - the areas are placed one at a time, the one that moves least first, and
//   one that would overlap a placed area is pushed right or down, the
//   shorter way, until it is clear;
// - the whole desktop then shifts to start where it started.
// Empty when that would leave overlaps or a desktop in pieces. Empty areas
// stay as they are.
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
