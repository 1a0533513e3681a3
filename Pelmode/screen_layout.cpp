#include "screen_layout.h"

#include <algorithm>
#include <limits>

#include "layout_placement.h"

namespace pelmode {
namespace {

using namespace layout;

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
  Desktop d;
  for (const Area& area : areas) {
    d.before.push_back(BoxOf(area));
    d.active.push_back(!IsEmpty(area));
  }
  d.old_box = d.before.at(changed);
  d.new_box = {d.old_box.left, d.old_box.top, d.old_box.left + width_px,
               d.old_box.top + height_px};
  d.after = d.before;
  d.placed = d.active;
  for (std::size_t i = 0; i < areas.size(); ++i) {
    const Box& box = d.before[i];
    d.resized.push_back(d.active[i] && (i == changed || box == d.old_box));
    if (d.resized[i]) d.after[i] = d.new_box;
  }
  PlaceMovingBoxes(d);
  KeepOrigin(d.before, d.after, d.active);
  if (!StaysWhole(d.before, d.after, d.active)) return std::nullopt;

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