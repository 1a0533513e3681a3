#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace pelmode {

struct ModeTiming {
  std::uint32_t dot_clock_hz = 0;
  std::uint32_t htotal = 0;
  std::uint32_t vtotal = 0;
  bool interlaced = false;
  bool double_scan = false;
};

// Frames per second rounded to the nearest hertz; 0 when the timing has no
// clock or no totals (virtual servers report such modes).
std::uint32_t RefreshRateHz(const ModeTiming& timing);

struct ModeCandidate {
  std::uint32_t width_px = 0;  // as shown on screen, after rotation
  std::uint32_t height_px = 0;
  std::uint32_t refresh_hz = 0;
  bool progressive = true;
};

// Index of the mode to set for the requested size: progressive before
// interlaced or double-scan, then the current rate, else the highest rate;
// the list's order breaks ties. Empty when no mode has that size.
std::optional<std::size_t> ChooseMode(
    const std::vector<ModeCandidate>& modes, std::uint32_t width_px,
    std::uint32_t height_px, std::uint32_t current_refresh_hz);

}  // namespace pelmode
