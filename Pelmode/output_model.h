// The outputs of a Wayland compositor as Pelmode sees them, whichever
// protocol reported them, and the plan of a change: the same target, mode
// and layout rules as on X11.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform.h"

namespace pelmode {

struct OutputMode {
  std::uint32_t width_px = 0;  // as the output scans it, before any turn
  std::uint32_t height_px = 0;
  std::uint32_t refresh_mhz = 0;
};

struct Output {
  std::string name;
  bool enabled = false;
  bool primary = false;
  std::int32_t x = 0;  // in the compositor's layout coordinates
  std::int32_t y = 0;
  double scale = 1.0;         // layout units are mode pixels divided by this
  bool quarter_turn = false;  // turned by 90 or 270 degrees
  std::vector<OutputMode> modes;
  std::optional<std::size_t> current_mode;
};

// Hertz rounded to the nearest whole one.
std::uint32_t HzOfMillihertz(std::uint32_t refresh_mhz);

// The output Pelmode changes: the primary, else the one at 0,0, else the
// first enabled one; each must show a mode.
std::optional<std::size_t> TargetOutput(const std::vector<Output>& outputs);

// The target's mode in force, as the first output line reports it.
std::optional<DisplayMode> CurrentOutputMode(const std::vector<Output>& outputs);

struct OutputChange {
  // For every output, the index of its new mode and its new position; the
  // modes and places of outputs that do not change are the current ones.
  std::vector<std::optional<std::size_t>> modes;
  std::vector<std::pair<std::int32_t, std::int32_t>> positions;
};

// Plans showing width x height on the target, its mirrors following and the
// desktop kept whole; a refusal when that cannot be done.
ApplyResult PlanOutputChange(const std::vector<Output>& outputs,
                             std::uint32_t width_px, std::uint32_t height_px,
                             OutputChange* change);

}  // namespace pelmode
