#include "screen_layout.h"

#include <algorithm>

namespace pelmode {

std::vector<Area> ResizedLayout(std::vector<Area> areas, std::size_t changed,
                                std::uint32_t width_px, std::uint32_t height_px) {
  Area& resized = areas.at(changed);
  const std::int64_t old_right = std::int64_t(resized.x) + resized.width_px;
  const std::int64_t old_bottom = std::int64_t(resized.y) + resized.height_px;
  const std::int64_t dx = std::int64_t(width_px) - resized.width_px;
  const std::int64_t dy = std::int64_t(height_px) - resized.height_px;
  resized.width_px = width_px;
  resized.height_px = height_px;
  for (std::size_t i = 0; i < areas.size(); ++i) {
    Area& area = areas[i];
    if (i == changed || area.width_px == 0 || area.height_px == 0) continue;
    if (area.x >= old_right) area.x = std::int32_t(area.x + dx);
    if (area.y >= old_bottom) area.y = std::int32_t(area.y + dy);
  }
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
