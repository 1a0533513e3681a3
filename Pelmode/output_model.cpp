#include "output_model.h"

#include <cmath>

#include "mode_choice.h"
#include "screen_layout.h"

namespace pelmode {
namespace {

bool Shows(const Output& output) {
  return output.enabled && output.current_mode &&
         *output.current_mode < output.modes.size();
}

// The size the output shows a mode at, after its turn.
ModeCandidate Shown(const Output& output, const OutputMode& mode) {
  const std::uint32_t hz = HzOfMillihertz(mode.refresh_mhz);
  return output.quarter_turn ? ModeCandidate{mode.height_px, mode.width_px, hz}
                             : ModeCandidate{mode.width_px, mode.height_px, hz};
}

// The part of the layout the output covers with that mode; nothing when it
// shows nothing.
Area AreaOf(const Output& output, const OutputMode& mode) {
  const ModeCandidate shown = Shown(output, mode);
  const double scale = output.scale > 0 ? output.scale : 1.0;
  return {output.x, output.y, std::uint32_t(std::lround(shown.width_px / scale)),
          std::uint32_t(std::lround(shown.height_px / scale))};
}

std::optional<std::size_t> ChooseOutputMode(const Output& output,
                                            std::uint32_t width_px,
                                            std::uint32_t height_px) {
  std::vector<ModeCandidate> candidates;
  for (const OutputMode& mode : output.modes) {
    candidates.push_back(Shown(output, mode));
  }
  const std::uint32_t current_hz =
      HzOfMillihertz(output.modes[*output.current_mode].refresh_mhz);
  return ChooseMode(candidates, width_px, height_px, current_hz);
}

}  // namespace

std::uint32_t HzOfMillihertz(std::uint32_t refresh_mhz) {
  return std::uint32_t((std::uint64_t(refresh_mhz) + 500) / 1000);
}

std::optional<std::size_t> TargetOutput(const std::vector<Output>& outputs) {
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (Shows(outputs[i]) && outputs[i].primary) return i;
  }
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (Shows(outputs[i]) && outputs[i].x == 0 && outputs[i].y == 0) return i;
  }
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (Shows(outputs[i])) return i;
  }
  return std::nullopt;
}

std::optional<DisplayMode> CurrentOutputMode(const std::vector<Output>& outputs) {
  const auto target = TargetOutput(outputs);
  if (!target) return std::nullopt;
  const Output& output = outputs[*target];
  const ModeCandidate shown = Shown(output, output.modes[*output.current_mode]);
  return DisplayMode{shown.width_px, shown.height_px, shown.refresh_hz};
}

ApplyResult PlanOutputChange(const std::vector<Output>& outputs,
                             std::uint32_t width_px, std::uint32_t height_px,
                             OutputChange* change) {
  const auto target = TargetOutput(outputs);
  if (!target) return {ApplyError::kNoActiveOutput, {}};
  std::vector<Area> before;
  for (const Output& output : outputs) {
    before.push_back(Shows(output) ? AreaOf(output, output.modes[*output.current_mode])
                                   : Area{});
  }
  change->modes.assign(outputs.size(), std::nullopt);
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (i != *target && !(Shows(outputs[i]) && before[i] == before[*target])) continue;
    change->modes[i] = ChooseOutputMode(outputs[i], width_px, height_px);
    if (change->modes[i]) continue;
    if (i == *target) return {ApplyError::kModeNotOffered, {}};
    return {ApplyError::kMirrorNotOffered, outputs[i].name};
  }
  const Area resized = AreaOf(outputs[*target], outputs[*target].modes[*change->modes[*target]]);
  const auto after = ResizedLayout(before, *target, resized.width_px, resized.height_px);
  if (!after) return {ApplyError::kLayoutBroken, {}};
  change->positions.clear();
  for (const Area& area : *after) change->positions.emplace_back(area.x, area.y);
  return {};
}

}  // namespace pelmode
