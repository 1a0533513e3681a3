#include "x11_outputs.h"

#include <algorithm>

#include "mode_choice.h"

namespace pelmode::x11 {
namespace {

const xcb_randr_mode_info_t* FindModeInfo(const ResourcesReply& res, xcb_randr_mode_t id) {
  const xcb_randr_mode_info_t* modes = xcb_randr_get_screen_resources_current_modes(&res);
  for (int i = 0; i < res.num_modes; ++i) {
    if (modes[i].id == id) return &modes[i];
  }
  return nullptr;
}

OutputMode ModeOf(const xcb_randr_mode_info_t& mode) {
  const std::uint32_t interlace = XCB_RANDR_MODE_FLAG_INTERLACE;
  const std::uint32_t double_scan = XCB_RANDR_MODE_FLAG_DOUBLE_SCAN;
  const ModeTiming timing{mode.dot_clock, mode.htotal, mode.vtotal,
                          (mode.mode_flags & interlace) != 0, (mode.mode_flags & double_scan) != 0};
  return {mode.width, mode.height, RefreshMillihertz(timing),
          (mode.mode_flags & (interlace | double_scan)) == 0, {}};
}

bool Offers(const OutputReply& output, xcb_randr_mode_t id) {
  const xcb_randr_mode_t* ids = xcb_randr_get_output_info_modes(&output);
  return std::find(ids, ids + output.num_modes, id) != ids + output.num_modes;
}

// The CRTC's outputs as snapshot indexes, the primary first.
std::vector<std::size_t> OutputsOf(const Snapshot& snap, std::size_t crtc) {
  std::vector<std::size_t> outputs;
  const CrtcReply& info = *snap.crtcs[crtc];
  const xcb_randr_output_t* ids = xcb_randr_get_crtc_info_outputs(&info);
  for (int i = 0; i < info.num_outputs; ++i) {
    if (const auto index = snap.OutputIndex(ids[i])) outputs.push_back(*index);
  }
  std::stable_partition(outputs.begin(), outputs.end(),
                        [&](std::size_t o) { return snap.OutputId(o) == snap.primary; });
  return outputs;
}

// The modes that every output of the CRTC offers, in the first one's order.
void ReadModes(const Snapshot& snap, const std::vector<std::size_t>& outputs, Output* output,
               std::vector<xcb_randr_mode_t>* ids) {
  const OutputReply& first = *snap.outputs[outputs.front()];
  const xcb_randr_mode_t* offered = xcb_randr_get_output_info_modes(&first);
  for (int i = 0; i < first.num_modes; ++i) {
    const xcb_randr_mode_info_t* info = FindModeInfo(*snap.resources, offered[i]);
    const bool everywhere = info && std::all_of(outputs.begin(), outputs.end(), [&](std::size_t o) {
                              return Offers(*snap.outputs[o], offered[i]);
                            });
    if (!everywhere) continue;
    output->modes.push_back(ModeOf(*info));
    ids->push_back(offered[i]);
  }
}

bool IsQuarterTurn(std::uint16_t rotation) {
  return (rotation & (XCB_RANDR_ROTATION_ROTATE_90 | XCB_RANDR_ROTATION_ROTATE_270)) != 0;
}

// A CRTC that shows something, as an output; one that shows nothing stays
// disabled.
void ReadCrtc(const Snapshot& snap, std::size_t crtc, Output* output,
              std::vector<xcb_randr_mode_t>* ids) {
  const CrtcReply& info = *snap.crtcs[crtc];
  const std::vector<std::size_t> outputs = OutputsOf(snap, crtc);
  if (info.mode == XCB_NONE || outputs.empty()) return;
  output->name = snap.OutputName(outputs.front());
  output->primary = snap.OutputId(outputs.front()) == snap.primary;
  output->x = info.x;
  output->y = info.y;
  output->quarter_turn = IsQuarterTurn(info.rotation);
  const PanningReply& panning = *snap.pannings[crtc];
  if (panning.width != 0 && panning.height != 0) {
    output->x = panning.left;
    output->y = panning.top;
    output->panning = {panning.width, panning.height};
  }
  ReadModes(snap, outputs, output, ids);
  const auto current = std::find(ids->begin(), ids->end(), info.mode);
  if (current == ids->end()) {
    // The mode in force is no longer offered by every output: shown alone.
    if (const xcb_randr_mode_info_t* mode = FindModeInfo(*snap.resources, info.mode)) {
      output->modes.push_back(ModeOf(*mode));
      ids->push_back(info.mode);
    } else {
      return;
    }
  }
  output->current_mode = std::size_t(std::find(ids->begin(), ids->end(), info.mode) - ids->begin());
  output->enabled = true;
}

}  // namespace

Outputs ReadOutputs(const Snapshot& snap) {
  Outputs read;
  read.outputs.resize(snap.crtcs.size());
  read.modes.resize(snap.crtcs.size());
  for (std::size_t i = 0; i < snap.crtcs.size(); ++i) {
    ReadCrtc(snap, i, &read.outputs[i], &read.modes[i]);
  }
  return read;
}

CrtcChange UnchangedCrtc(const Snapshot& snap, std::size_t crtc) {
  const CrtcReply& info = *snap.crtcs[crtc];
  return {crtc, info.x, info.y, info.mode};
}

ApplyResult RequestsFor(const Snapshot& snap, const Outputs& outputs, const Plan& plan,
                        Requests* requests) {
  std::vector<Area> areas;
  for (const OutputPlan& next : plan.outputs) areas.push_back(next.area);
  const ScreenSize needed = BoundingScreen(areas);
  const auto screen = ScreenWithinLimits(needed, snap.min_screen, snap.max_screen);
  if (!screen) return {ApplyError::kScreenTooLarge, SizeText(needed)};
  requests->screen = *screen;
  requests->changes.clear();
  requests->pannings.clear();
  for (std::size_t i = 0; i < plan.outputs.size(); ++i) {
    const Output& output = outputs.outputs[i];
    if (!output.enabled) continue;
    const OutputPlan& next = plan.outputs[i];
    // A panning CRTC shows the top-left of its panning area once moved.
    const bool moved = next.area.x != output.x || next.area.y != output.y;
    const std::int32_t x = moved ? next.area.x : snap.crtcs[i]->x;
    const std::int32_t y = moved ? next.area.y : snap.crtcs[i]->y;
    const CrtcChange change = {i, x, y, outputs.modes[i][*next.mode]};
    // The server cuts every panning area by what the screen shrinks: each
    // is set again once the screen has its size.
    const bool pans = output.panning != ScreenSize{};
    const bool resized = output.panning != ScreenSize{next.area.width_px, next.area.height_px};
    if (pans && (moved || resized || requests->screen != snap.screen)) {
      requests->pannings.push_back({i, next.area});
    }
    if (!moved && change.mode == snap.crtcs[i]->mode && i != plan.target) continue;
    requests->changes.push_back(change);
  }
  return {};
}

}  // namespace pelmode::x11
