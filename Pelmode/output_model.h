// The monitors of any display as Pelmode sees them, whichever system
// reported them, and the one planner that decides a change: which monitor,
// which mode, which scale, and where every monitor goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "layout_memory.h"
#include "mode_choice.h"
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
  bool layout_truncates = false;  // mode pixels / scale cut to whole pixels (wlroots), not rounded
};

// What the display can hold: every edge of every monitor within the
// coordinates, the desk within the screen.
struct DeskLimits {
  std::int64_t min_coord = std::numeric_limits<std::int32_t>::min();
  std::int64_t max_coord = std::numeric_limits<std::int32_t>::max();
  ScreenSize max_screen = {std::numeric_limits<std::uint32_t>::max(),
                           std::numeric_limits<std::uint32_t>::max()};
};

bool Shows(const Output& output);

// The size, rate and scan an output shows `mode` at, after its turn.
ModeCandidate AsShown(bool quarter_turn, const OutputMode& mode);

// The output's mode in force as the first output line reports it.
DisplayMode ShownMode(const Output& output);

// The output Pelmode changes: the primary; else the one `memory` changed
// while the desk is as that change left it (the change may have brought
// another to the corner); else the one at the desktop's top-left corner,
// else the first that shows something.
std::optional<std::size_t> TargetOutput(const std::vector<Output>& outputs,
                                        const std::optional<LayoutMemory>& memory);

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

// Plans showing width x height on `target`, its mirrors following and the
// desktop kept whole; a refusal when that cannot be done. Where the desk is
// as `memory`'s change left it and the request is the size it changed
// from, the desk before it comes back exactly, if that desk would be whole
// and within `limits`.
ApplyResult PlanOutputChange(const std::vector<Output>& outputs, const DeskLimits& limits,
                             std::size_t target, std::uint32_t width_px,
                             std::uint32_t height_px, const std::optional<LayoutMemory>& memory,
                             Plan* plan);

// Plans putting back the desk before `memory`'s change: kNoWayBack without
// a memory, kDeskChangedSince where the desk is no longer as that change
// left it (or the desk remembered would not pass a new plan's checks).
ApplyResult PlanWayBack(const std::vector<Output>& outputs, const DeskLimits& limits,
                        const std::optional<LayoutMemory>& memory, Plan* plan);

// The size the way back gives the monitor `memory`'s change was made on.
ScreenSize WayBackSize(const LayoutMemory& memory);

// The output of that name that shows something.
std::optional<std::size_t> OutputNamed(const std::vector<Output>& outputs,
                                       const std::string& name);

// The names of the outputs that show something ("DP-1, HDMI-1").
std::string OutputNames(const std::vector<Output>& outputs);

// The (at most two) sizes the output offers nearest to `asked`, nearest
// first ("1024x768, 800x600").
std::string NearestSizes(const Output& output, ScreenSize asked);

// Every output that shows something, as the memory keeps it.
RememberedDesk DescribeDesk(const std::vector<Output>& outputs);

// After `plan`, made on `before`, was carried out: the first output of
// `now` that is not as planned, in words ("DP-1 shows 1920x1080 at 0,0,
// not 1280x720 at 0,0"); empty when all are. The rate is not compared
// where the system picks it.
std::string Misplaced(const std::vector<Output>& before, const Plan& plan,
                      const std::vector<Output>& now, bool compare_rate);

}  // namespace pelmode
