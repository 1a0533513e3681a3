// X11's CRTCs as the planner's outputs, and the planner's result as the
// requests that carry it out.
#pragma once

#include <vector>

#include "output_model.h"
#include "x11_configuration.h"

namespace pelmode::x11 {

// One output a CRTC: it shows the modes that all of the CRTC's outputs
// offer, and bears the name of the first of them (the primary first).
struct Outputs {
  std::vector<Output> outputs;                       // one a CRTC, in its order
  std::vector<std::vector<xcb_randr_mode_t>> modes;  // each output's mode ids
};

Outputs ReadOutputs(const Snapshot& snap);

// One CRTC's new place and mode; its rotation and outputs stay.
struct CrtcChange {
  std::size_t crtc;
  std::int32_t x;
  std::int32_t y;
  xcb_randr_mode_t mode;
};

CrtcChange UnchangedCrtc(const Snapshot& snap, std::size_t crtc);

// A panning CRTC's new panning area.
struct PanningChange {
  std::size_t crtc;
  Area area;
};

// What the server must do: the CRTCs that change (the target's always, so
// that a same-size request is still made), in the server's order, the
// pannings that move or resize with them, and the screen that holds them
// all.
struct Requests {
  std::vector<CrtcChange> changes;
  std::vector<PanningChange> pannings;
  ScreenSize screen;
};

// A refusal, before anything is asked of the server, when the screen the
// plan needs exceeds the server's largest.
ApplyResult RequestsFor(const Snapshot& snap, const Outputs& outputs, const Plan& plan,
                        Requests* requests);

}  // namespace pelmode::x11
