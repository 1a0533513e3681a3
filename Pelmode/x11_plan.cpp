#include "x11_plan.h"

#include <algorithm>

#include "mode_choice.h"

namespace pelmode::x11 {
namespace {

std::optional<std::size_t> ActiveCrtcOf(const Snapshot& snap,
                                        const OutputReply& output) {
  if (output.crtc == XCB_NONE) return std::nullopt;
  for (std::size_t i = 0; i < snap.crtcs.size(); ++i) {
    if (snap.CrtcId(i) == output.crtc && snap.crtcs[i]->mode != XCB_NONE) {
      return i;
    }
  }
  return std::nullopt;
}

const xcb_randr_mode_info_t* FindModeInfo(const ResourcesReply& res,
                                          xcb_randr_mode_t id) {
  const xcb_randr_mode_info_t* modes =
      xcb_randr_get_screen_resources_current_modes(&res);
  for (int i = 0; i < res.num_modes; ++i) {
    if (modes[i].id == id) return &modes[i];
  }
  return nullptr;
}

bool IsQuarterTurn(std::uint16_t rotation) {
  return (rotation & (XCB_RANDR_ROTATION_ROTATE_90 |
                      XCB_RANDR_ROTATION_ROTATE_270)) != 0;
}

// The mode as a CRTC with that rotation shows it on screen.
ModeCandidate OnScreenMode(const xcb_randr_mode_info_t& mode,
                           std::uint16_t rotation) {
  const std::uint32_t scan_flags =
      XCB_RANDR_MODE_FLAG_INTERLACE | XCB_RANDR_MODE_FLAG_DOUBLE_SCAN;
  const ModeTiming timing{mode.dot_clock, mode.htotal, mode.vtotal,
                          (mode.mode_flags & XCB_RANDR_MODE_FLAG_INTERLACE) != 0,
                          (mode.mode_flags & XCB_RANDR_MODE_FLAG_DOUBLE_SCAN) != 0};
  const bool turned = IsQuarterTurn(rotation);
  return {turned ? mode.height : mode.width, turned ? mode.width : mode.height,
          RefreshRateHz(timing), (mode.mode_flags & scan_flags) == 0};
}

bool Offers(const OutputReply& output, xcb_randr_mode_t id) {
  const xcb_randr_mode_t* ids = xcb_randr_get_output_info_modes(&output);
  for (int i = 0; i < output.num_modes; ++i) {
    if (ids[i] == id) return true;
  }
  return false;
}

// The modes that every one of `outputs` offers, each with its id, as a CRTC
// with that rotation would show them.
struct OfferedModes {
  std::vector<ModeCandidate> candidates;
  std::vector<xcb_randr_mode_t> ids;
};

OfferedModes ModesOfferedByAll(const Snapshot& snap,
                               const std::vector<std::size_t>& outputs,
                               std::uint16_t rotation) {
  OfferedModes offered;
  const OutputReply& first = *snap.outputs[outputs.front()];
  const xcb_randr_mode_t* ids = xcb_randr_get_output_info_modes(&first);
  for (int i = 0; i < first.num_modes; ++i) {
    const xcb_randr_mode_info_t* info = FindModeInfo(*snap.resources, ids[i]);
    bool everywhere = info != nullptr;
    for (std::size_t o : outputs) {
      everywhere = everywhere && Offers(*snap.outputs[o], ids[i]);
    }
    if (!everywhere) continue;
    offered.candidates.push_back(OnScreenMode(*info, rotation));
    offered.ids.push_back(ids[i]);
  }
  return offered;
}

// The CRTC's outputs as snapshot indexes, `first` leading where it is one.
std::vector<std::size_t> OutputsOf(const Snapshot& snap, std::size_t crtc,
                                   std::size_t first) {
  std::vector<std::size_t> outputs;
  const CrtcReply& info = *snap.crtcs[crtc];
  const xcb_randr_output_t* ids = xcb_randr_get_crtc_info_outputs(&info);
  for (int i = 0; i < info.num_outputs; ++i) {
    if (const auto index = snap.OutputIndex(ids[i])) outputs.push_back(*index);
  }
  std::stable_partition(outputs.begin(), outputs.end(),
                        [&](std::size_t o) { return o == first; });
  return outputs;
}

// The mode for a CRTC to show width x height, offered by all its outputs and
// chosen by the usual rule; else the first output that lacks the size.
struct CrtcMode {
  xcb_randr_mode_t mode = XCB_NONE;
  std::size_t lacking_output = 0;
};

CrtcMode ChooseCrtcMode(const Snapshot& snap, std::size_t crtc,
                        const std::vector<std::size_t>& outputs,
                        std::uint32_t width_px, std::uint32_t height_px) {
  const std::uint16_t rotation = snap.crtcs[crtc]->rotation;
  const std::optional<DisplayMode> current = CurrentModeOf(snap, crtc);
  const OfferedModes offered = ModesOfferedByAll(snap, outputs, rotation);
  const auto choice = ChooseMode(offered.candidates, width_px, height_px,
                                 current ? current->refresh_hz : 0);
  if (choice) return {offered.ids[*choice], 0};
  for (std::size_t o : outputs) {
    const OfferedModes own = ModesOfferedByAll(snap, {o}, rotation);
    if (!ChooseMode(own.candidates, width_px, height_px, 0)) return {XCB_NONE, o};
  }
  // Each offers the size, but no mode of it is common to all: name the last.
  return {XCB_NONE, outputs.back()};
}

std::vector<Area> ActiveAreas(const Snapshot& snap) {
  std::vector<Area> areas;
  for (const auto& crtc : snap.crtcs) {
    if (crtc->mode == XCB_NONE) {
      areas.push_back({});  // inactive: covers nothing
    } else {
      areas.push_back({crtc->x, crtc->y, crtc->width, crtc->height});
    }
  }
  return areas;
}

// The new mode of every CRTC: the target's and its mirrors' chosen, the
// others' as they are.
ApplyResult ChooseModes(const Snapshot& snap, const Target& target,
                        const std::vector<Area>& areas, std::uint32_t width_px,
                        std::uint32_t height_px,
                        std::vector<xcb_randr_mode_t>* modes) {
  for (std::size_t i = 0; i < snap.crtcs.size(); ++i) {
    modes->push_back(snap.crtcs[i]->mode);
    const bool mirror = i != target.crtc && snap.crtcs[i]->mode != XCB_NONE &&
                        areas[i] == areas[target.crtc];
    if (i != target.crtc && !mirror) continue;
    const std::vector<std::size_t> outputs = OutputsOf(snap, i, target.output);
    if (outputs.empty()) return {ApplyError::kServerRefused, {}};
    const CrtcMode chosen =
        ChooseCrtcMode(snap, i, outputs, width_px, height_px);
    if (chosen.mode == XCB_NONE) {
      if (chosen.lacking_output == target.output) {
        return {ApplyError::kModeNotOffered, {}};
      }
      return {ApplyError::kMirrorNotOffered,
              snap.OutputName(chosen.lacking_output)};
    }
    modes->back() = chosen.mode;
  }
  return {};
}

std::string SizeText(ScreenSize size) {
  return std::to_string(size.width_px) + "x" + std::to_string(size.height_px);
}

}  // namespace

std::optional<Target> FindTarget(const Snapshot& snap) {
  for (std::size_t i = 0; i < snap.outputs.size(); ++i) {
    if (snap.OutputId(i) != snap.primary) continue;
    if (auto crtc = ActiveCrtcOf(snap, *snap.outputs[i])) return Target{i, *crtc};
  }
  for (std::size_t i = 0; i < snap.outputs.size(); ++i) {
    if (snap.outputs[i]->connection != XCB_RANDR_CONNECTION_CONNECTED) continue;
    if (auto crtc = ActiveCrtcOf(snap, *snap.outputs[i])) return Target{i, *crtc};
  }
  return std::nullopt;
}

std::optional<DisplayMode> CurrentModeOf(const Snapshot& snap,
                                         std::size_t crtc) {
  const CrtcReply& info = *snap.crtcs[crtc];
  const xcb_randr_mode_info_t* mode = FindModeInfo(*snap.resources, info.mode);
  if (!mode) return std::nullopt;
  const ModeCandidate shown = OnScreenMode(*mode, info.rotation);
  return DisplayMode{shown.width_px, shown.height_px, shown.refresh_hz};
}

CrtcChange UnchangedCrtc(const Snapshot& snap, std::size_t crtc) {
  const CrtcReply& info = *snap.crtcs[crtc];
  return {crtc, info.x, info.y, info.mode};
}

ApplyResult PlanChange(const Snapshot& snap, const Target& target,
                       std::uint32_t width_px, std::uint32_t height_px,
                       Plan* plan) {
  const std::vector<Area> before = ActiveAreas(snap);
  std::vector<xcb_randr_mode_t> modes;
  const ApplyResult chosen =
      ChooseModes(snap, target, before, width_px, height_px, &modes);
  if (!chosen.ok()) return chosen;
  const auto after = ResizedLayout(before, target.crtc, width_px, height_px);
  if (!after) return {ApplyError::kLayoutBroken, {}};
  const ScreenSize needed = BoundingScreen(*after);
  const auto screen =
      ScreenWithinLimits(needed, snap.min_screen, snap.max_screen);
  if (!screen) return {ApplyError::kScreenTooLarge, SizeText(needed)};
  plan->screen = *screen;
  const Area& target_area = (*after)[target.crtc];
  plan->changes = {{target.crtc, target_area.x, target_area.y, modes[target.crtc]}};
  for (std::size_t i = 0; i < after->size(); ++i) {
    if (i == target.crtc) continue;
    if ((*after)[i] == before[i] && modes[i] == snap.crtcs[i]->mode) continue;
    plan->changes.push_back({i, (*after)[i].x, (*after)[i].y, modes[i]});
  }
  return {};
}

}  // namespace pelmode::x11
