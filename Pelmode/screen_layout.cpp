#include "screen_layout.h"

#include <algorithm>

namespace pelmode {

std::vector<Area> ResizeArea(std::vector<Area> areas, std::size_t changed,
                             std::uint32_t width_px, std::uint32_t height_px) {
  areas.at(changed).width_px = width_px;
  areas.at(changed).height_px = height_px;
  return areas;
}

ScreenSize BoundingScreen(const std::vector<Area>& areas) {
  std::int64_t right = 0;
  std::int64_t bottom = 0;
  for (const Area& area : areas) {
    right = std::max(right, std::int64_t(area.x) + area.width_px);
    bottom = std::max(bottom, std::int64_t(area.y) + area.height_px);
  }
  return {std::uint32_t(right), std::uint32_t(bottom)};
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
