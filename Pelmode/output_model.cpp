#include "output_model.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "mode_choice.h"

namespace pelmode {
namespace {

bool Shows(const Output& output) {
  return output.enabled && output.current_mode && *output.current_mode < output.modes.size();
}

// The size the output shows a mode at, after its turn.
ModeCandidate Shown(const Output& output, const OutputMode& mode) {
  return output.quarter_turn
             ? ModeCandidate{mode.height_px, mode.width_px, mode.refresh_mhz, mode.progressive}
             : ModeCandidate{mode.width_px, mode.height_px, mode.refresh_mhz, mode.progressive};
}

// The part of the desktop the output covers with that mode and scale.
Area AreaOf(const Output& output, const OutputMode& mode, double scale) {
  const ModeCandidate shown = Shown(output, mode);
  const double divisor = output.scale_divides_layout && scale > 0 ? scale : 1.0;
  const auto side = [&](std::uint32_t px, std::uint32_t panning_px) {
    return std::max(Rounded(px / divisor), panning_px);
  };
  return {output.x, output.y, side(shown.width_px, output.panning.width_px),
          side(shown.height_px, output.panning.height_px)};
}

Area CurrentArea(const Output& output) {
  return Shows(output) ? AreaOf(output, output.modes[*output.current_mode], output.scale) : Area{};
}

std::optional<std::size_t> ChooseOutputMode(const Output& output, std::uint32_t width_px,
                                            std::uint32_t height_px, std::uint32_t wanted_mhz) {
  std::vector<ModeCandidate> candidates;
  for (const OutputMode& mode : output.modes) candidates.push_back(Shown(output, mode));
  return ChooseMode(candidates, width_px, height_px, wanted_mhz);
}

// Every output as it is now: its mode, scale and area.
Plan Unchanged(const std::vector<Output>& outputs, std::size_t target) {
  Plan plan{target, {}};
  for (const Output& output : outputs) {
    plan.outputs.push_back({output.current_mode, output.scale, CurrentArea(output)});
  }
  return plan;
}

// The target's mode and scale, and its mirrors', each near its own rate.
ApplyResult ChooseModes(const std::vector<Output>& outputs, std::uint32_t width_px,
                        std::uint32_t height_px, Plan* plan) {
  const std::size_t target = plan->target;
  const Output& shown = outputs[target];
  const Area before = CurrentArea(shown);
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const bool mirror = i != target && Shows(outputs[i]) && CurrentArea(outputs[i]) == before;
    if (i != target && !mirror) continue;
    const std::uint32_t current_mhz = outputs[i].modes[*outputs[i].current_mode].refresh_mhz;
    const auto mode = ChooseOutputMode(outputs[i], width_px, height_px, current_mhz);
    if (!mode && i == target) return {ApplyError::kModeNotOffered, {}};
    if (!mode) return {ApplyError::kMirrorNotOffered, outputs[i].name};
    plan->outputs[i].mode = mode;
    plan->outputs[i].scale = ChooseScale(outputs[i].modes[*mode].scales, outputs[i].scale);
  }
  return {};
}

ApplyResult PlanAfresh(const std::vector<Output>& outputs, std::uint32_t width_px,
                       std::uint32_t height_px, Plan* plan) {
  const ApplyResult chosen = ChooseModes(outputs, width_px, height_px, plan);
  if (!chosen.ok()) return chosen;
  const OutputPlan& target = plan->outputs[plan->target];
  const Area resized = AreaOf(outputs[plan->target], outputs[plan->target].modes[*target.mode],
                              target.scale);
  std::vector<Area> before;
  for (const Output& output : outputs) before.push_back(CurrentArea(output));
  const auto after = ResizedLayout(before, plan->target, resized.width_px, resized.height_px);
  if (!after) return {ApplyError::kLayoutBroken, {}};
  for (std::size_t i = 0; i < outputs.size(); ++i) plan->outputs[i].area = (*after)[i];
  return {};
}

// One line an output that shows something: its place, scale, turn,
// panning, mode and name, all as the display reported them.
std::string Describe(const std::vector<Output>& outputs) {
  std::string text;
  const auto add = [&text](long long value) { text += std::to_string(value) + ' '; };
  for (const Output& output : outputs) {
    if (!Shows(output)) continue;
    const OutputMode& mode = output.modes[*output.current_mode];
    add(output.x), add(output.y), add(Rounded(output.scale * 1000)), add(output.quarter_turn);
    add(output.panning.width_px), add(output.panning.height_px);
    add(mode.width_px), add(mode.height_px), add(mode.refresh_mhz);
    text += output.name + '\n';
  }
  return text;
}

// The outputs as `plan` leaves them.
std::vector<Output> Carried(std::vector<Output> outputs, const Plan& plan) {
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (!Shows(outputs[i])) continue;
    Output& output = outputs[i];
    const OutputPlan& next = plan.outputs[i];
    if (output.panning.width_px != 0 || output.panning.height_px != 0) {
      output.panning = {next.area.width_px, next.area.height_px};
    }
    output.current_mode = next.mode;
    output.scale = next.scale;
    output.x = next.area.x;
    output.y = next.area.y;
  }
  return outputs;
}

const char kBetween[] = "=\n";

// The plan that puts back the layout `memory` kept, where the outputs are
// as it left them and width x height is the size the target had before.
std::optional<Plan> Recall(const std::vector<Output>& outputs, std::uint32_t width_px,
                           std::uint32_t height_px, const std::string& memory, std::size_t target) {
  const std::size_t between = memory.find(std::string("\n") + kBetween);
  if (between == std::string::npos || memory.substr(between + 3) != Describe(outputs)) {
    return std::nullopt;
  }
  Plan plan = Unchanged(outputs, target);
  std::vector<bool> found(outputs.size(), false);
  for (std::size_t line = 0, end = 0; line < between; line = end + 1) {
    end = memory.find('\n', line);
    Output kept;
    OutputMode mode;
    long scale_milli = 0;
    int turned = 0, name_at = 0;
    // The C library's reader: iostreams would bring their locales in.
    if (std::sscanf(memory.c_str() + line, "%d %d %ld %d %u %u %u %u %u %n", &kept.x, &kept.y,
                    &scale_milli, &turned, &kept.panning.width_px, &kept.panning.height_px,
                    &mode.width_px, &mode.height_px, &mode.refresh_mhz, &name_at) != 9) {
      break;
    }
    kept.quarter_turn = turned != 0;
    kept.name = memory.substr(line + std::size_t(name_at), end - line - std::size_t(name_at));
    std::size_t i = 0;
    while (i < outputs.size() && !(Shows(outputs[i]) && outputs[i].name == kept.name)) ++i;
    if (i == outputs.size() || found[i] || kept.quarter_turn != outputs[i].quarter_turn) break;
    const ModeCandidate shown = Shown(kept, mode);
    const auto index = ChooseOutputMode(outputs[i], shown.width_px, shown.height_px,
                                        mode.refresh_mhz);
    if (!index || !SameRate(outputs[i].modes[*index].refresh_mhz, mode.refresh_mhz)) break;
    if (i == target && (shown.width_px != width_px || shown.height_px != height_px)) break;
    found[i] = true;
    kept.scale = double(scale_milli) / 1000;
    kept.scale_divides_layout = outputs[i].scale_divides_layout;
    plan.outputs[i] = {index, kept.scale, AreaOf(kept, mode, kept.scale)};
  }
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (Shows(outputs[i]) && !found[i]) return std::nullopt;
  }
  return plan;
}

}  // namespace

std::optional<std::size_t> TargetOutput(const std::vector<Output>& outputs) {
  std::int64_t left = std::numeric_limits<std::int64_t>::max(), top = left;
  for (const Output& output : outputs) {
    if (Shows(output)) left = std::min<std::int64_t>(left, output.x);
    if (Shows(output)) top = std::min<std::int64_t>(top, output.y);
  }
  std::optional<std::size_t> corner, first;
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (!Shows(outputs[i])) continue;
    if (outputs[i].primary) return i;
    if (!corner && outputs[i].x == left && outputs[i].y == top) corner = i;
    if (!first) first = i;
  }
  return corner ? corner : first;
}

std::optional<DisplayMode> CurrentOutputMode(const std::vector<Output>& outputs) {
  const auto target = TargetOutput(outputs);
  if (!target) return std::nullopt;
  const Output& output = outputs[*target];
  const ModeCandidate shown = Shown(output, output.modes[*output.current_mode]);
  return DisplayMode{shown.width_px, shown.height_px, HzOfMillihertz(shown.refresh_mhz)};
}

ApplyResult PlanOutputChange(const std::vector<Output>& outputs, std::uint32_t width_px,
                             std::uint32_t height_px, const std::string& memory, Plan* plan) {
  const auto target = TargetOutput(outputs);
  if (!target) return {ApplyError::kNoActiveOutput, {}};
  if (auto recalled = Recall(outputs, width_px, height_px, memory, *target)) {
    *plan = *recalled;
    return {};
  }
  *plan = Unchanged(outputs, *target);
  return PlanAfresh(outputs, width_px, height_px, plan);
}

std::string LayoutMemory(const std::vector<Output>& outputs, const Plan& plan) {
  return Describe(outputs) + kBetween + Describe(Carried(outputs, plan));
}

}  // namespace pelmode
