#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pelmode {

// The part of the screen that one active CRTC shows.
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

// The areas after `changed` takes the new size at its own position. Areas
// wholly to its right move by the change in width, areas wholly below it by
// the change in height, so the desktop stays whole and a change and the
// change back restore it. Empty areas (CRTCs that show nothing) stay.
std::vector<Area> ResizedLayout(std::vector<Area> areas, std::size_t changed,
                                std::uint32_t width_px, std::uint32_t height_px);

// The smallest screen, anchored at the origin, that holds every area.
ScreenSize BoundingScreen(const std::vector<Area>& areas);

// A screen that holds both the old and the new layout, so the CRTC can be
// set before the screen shrinks to its final size.
ScreenSize CoveringScreen(ScreenSize before, ScreenSize after);

// The physical size that keeps the screen's dots per inch when it takes a new
// pixel size; 0 when the reference has no size.
std::uint32_t MillimetresAtSameDpi(std::uint32_t new_px, std::uint32_t ref_px,
                                   std::uint32_t ref_mm);

}  // namespace pelmode
