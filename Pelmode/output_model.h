// The monitors of any Linux display as Pelmode sees them, whichever
// protocol reported them, and the one planner that decides a change: which
// monitor, which mode, which scale, and where every monitor goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform.h"
#include "screen_layout.h"

namespace pelmode {

struct OutputMode {
  std::uint32_t width_px = 0;  // as the output scans it, before any turn
  std::uint32_t height_px = 0;
  std::uint32_t refresh_mhz = 0;  // 0 where the display gives no rate
  bool progressive = true;        // neither interlaced nor double-scan
  std::vector<double> scales;     // what the compositor allows with it; empty: any
};

struct Output {
  std::string name;
  bool enabled = false;
  bool primary = false;
  std::int32_t x = 0;  // in the desktop's coordinates
  std::int32_t y = 0;
  double scale = 1.0;
  bool scale_divides_layout = true;  // the desktop counts mode pixels / scale
  bool quarter_turn = false;         // turned by 90 or 270 degrees
  ScreenSize panning;                // where larger than the mode: the area it pans over
  std::vector<OutputMode> modes;
  std::optional<std::size_t> current_mode;
};

// The output Pelmode changes: the primary, else the one at the desktop's
// top-left corner, else the first that shows something.
std::optional<std::size_t> TargetOutput(const std::vector<Output>& outputs);

// The target's mode in force, as the first output line reports it.
std::optional<DisplayMode> CurrentOutputMode(const std::vector<Output>& outputs);

// What becomes of one output; an output that shows nothing keeps it all.
struct OutputPlan {
  std::optional<std::size_t> mode;  // the mode it shows after the change
  double scale = 1.0;
  Area area;  // the part of the desktop it covers (its panning, where it pans)
};

struct Plan {
  std::size_t target = 0;
  std::vector<OutputPlan> outputs;  // in the order of the outputs planned
};

// Plans showing width x height on the target, its mirrors following and the
// desktop kept whole; a refusal when that cannot be done. `memory`, where
// the display kept one, is the layout of the last change Pelmode made: when
// the outputs are still as that change left them and the request is the
// size it changed from, the layout before it comes back exactly.
ApplyResult PlanOutputChange(const std::vector<Output>& outputs, std::uint32_t width_px,
                             std::uint32_t height_px, const std::string& memory, Plan* plan);

// What the display keeps after carrying out `plan` on `outputs`, for the
// next run's PlanOutputChange.
std::string LayoutMemory(const std::vector<Output>& outputs, const Plan& plan);

}  // namespace pelmode
