// Planning a mode change on X11: which output, which mode for each CRTC that
// shows it, where every other CRTC goes, and how large the screen becomes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "x11_configuration.h"

namespace pelmode::x11 {

// The output Pelmode acts on and the CRTC that drives it.
struct Target {
  std::size_t output;
  std::size_t crtc;
};

// The primary output, else the first connected one that shows something.
std::optional<Target> FindTarget(const Snapshot& snap);

std::optional<DisplayMode> CurrentModeOf(const Snapshot& snap, std::size_t crtc);

// One CRTC's new place and mode; its rotation and outputs stay.
struct CrtcChange {
  std::size_t crtc;
  std::int32_t x;
  std::int32_t y;
  xcb_randr_mode_t mode;
};

CrtcChange UnchangedCrtc(const Snapshot& snap, std::size_t crtc);

struct Plan {
  std::vector<CrtcChange> changes;  // the target's CRTC first
  ScreenSize screen;
};

// Fills `plan` for showing width x height on the target, its mirrors
// following and the desktop kept whole; a refusal, before anything is asked
// of the server, when that cannot be done.
ApplyResult PlanChange(const Snapshot& snap, const Target& target,
                       std::uint32_t width_px, std::uint32_t height_px,
                       Plan* plan);

}  // namespace pelmode::x11
