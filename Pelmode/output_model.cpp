#include "output_model.h"

#include <algorithm>

#include "layout_geometry.h"
#include "mode_choice.h"

namespace pelmode {
namespace {

// The part of the desktop the output covers at x,y with that mode and scale.
Area AreaOf(const Output& output, std::int32_t x, std::int32_t y, ScreenSize panning,
            const OutputMode& mode, double scale) {
  const ModeCandidate shown = AsShown(output.quarter_turn, mode);
  const double divisor = output.scale_divides_layout && scale > 0 ? scale : 1.0;
  const auto side = [&](std::uint32_t px, std::uint32_t panning_px) {
    const double units = px / divisor;
    return std::max(output.layout_truncates ? std::uint32_t(units) : Rounded(units), panning_px);
  };
  return {x, y, side(shown.width_px, panning.width_px), side(shown.height_px, panning.height_px)};
}

Area CurrentArea(const Output& output) {
  if (!Shows(output)) return {};
  return AreaOf(output, output.x, output.y, output.panning, output.modes[*output.current_mode],
                output.scale);
}

std::optional<std::size_t> ChooseOutputMode(const Output& output, std::uint32_t width_px,
                                            std::uint32_t height_px, std::uint32_t wanted_mhz) {
  std::vector<ModeCandidate> candidates;
  for (const OutputMode& mode : output.modes) candidates.push_back(AsShown(output.quarter_turn, mode));
  return ChooseMode(candidates, width_px, height_px, wanted_mhz);
}

bool ScaleAllowed(const OutputMode& mode, double scale) {
  return mode.scales.empty() ||
         std::find(mode.scales.begin(), mode.scales.end(), scale) != mode.scales.end();
}

// Every output as it is now: its mode, scale and area.
Plan Unchanged(const std::vector<Output>& outputs, std::size_t target) {
  Plan plan{target, {}};
  for (const Output& output : outputs) {
    plan.outputs.push_back({output.current_mode, output.scale, CurrentArea(output)});
  }
  return plan;
}

// A desk as whole as `before`, as the layout rule's results are, that fits
// the limits.
ApplyResult CheckWhole(const std::vector<Area>& before, const std::vector<Area>& after,
                       const DeskLimits& limits) {
  for (const Area& area : after) {
    const layout::Box box = layout::BoxOf(area);
    if (box.left < limits.min_coord || box.top < limits.min_coord ||
        box.right > limits.max_coord || box.bottom > limits.max_coord) {
      return {ApplyError::kLayoutBroken, {}};
    }
  }
  const ScreenSize needed = BoundingScreen(after);
  if (needed.width_px > limits.max_screen.width_px ||
      needed.height_px > limits.max_screen.height_px) {
    return {ApplyError::kScreenTooLarge, SizeText(needed)};
  }
  if (!StaysWhole(before, after)) return {ApplyError::kLayoutBroken, {}};
  return {};
}

ApplyResult CheckPlan(const std::vector<Output>& outputs, const Plan& plan,
                      const DeskLimits& limits) {
  std::vector<Area> before, after;
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (!Shows(outputs[i])) continue;
    const OutputPlan& next = plan.outputs[i];
    if (!next.mode || *next.mode >= outputs[i].modes.size() ||
        !ScaleAllowed(outputs[i].modes[*next.mode], next.scale)) {
      return {ApplyError::kLayoutBroken, {}};
    }
    before.push_back(CurrentArea(outputs[i]));
    after.push_back(next.area);
  }
  return CheckWhole(before, after, limits);
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
    if (!mode && i == target) {
      return {ApplyError::kModeNotOffered, {}, 0, NearestSizes(outputs[i], {width_px, height_px})};
    }
    if (!mode) return {ApplyError::kMirrorNotOffered, outputs[i].name};
    plan->outputs[i].mode = mode;
    plan->outputs[i].scale = ChooseScale(outputs[i].modes[*mode].scales, outputs[i].scale);
  }
  return {};
}

ApplyResult PlanAfresh(const std::vector<Output>& outputs, const DeskLimits& limits,
                       std::uint32_t width_px, std::uint32_t height_px, Plan* plan) {
  const ApplyResult chosen = ChooseModes(outputs, width_px, height_px, plan);
  if (!chosen.ok()) return chosen;
  const Output& target = outputs[plan->target];
  const OutputPlan& next = plan->outputs[plan->target];
  const Area resized =
      AreaOf(target, target.x, target.y, target.panning, target.modes[*next.mode], next.scale);
  std::vector<Area> before;
  for (const Output& output : outputs) before.push_back(CurrentArea(output));
  const auto after = ResizedLayout(before, plan->target, resized.width_px, resized.height_px);
  if (!after) return {ApplyError::kLayoutBroken, {}};
  for (std::size_t i = 0; i < outputs.size(); ++i) plan->outputs[i].area = (*after)[i];
  return CheckPlan(outputs, *plan, limits);
}

// One remembered output's part of the plan; empty when the output cannot
// take it as it stands now.
std::optional<OutputPlan> RecallOutput(const Output& output, const RememberedOutput& kept) {
  if (kept.quarter_turn != output.quarter_turn) return std::nullopt;
  const OutputMode mode = {kept.width_px, kept.height_px, kept.refresh_mhz, true, {}};
  const ModeCandidate shown = AsShown(kept.quarter_turn, mode);
  const auto index = ChooseOutputMode(output, shown.width_px, shown.height_px, kept.refresh_mhz);
  if (!index || !SameRate(output.modes[*index].refresh_mhz, kept.refresh_mhz)) return std::nullopt;
  const ScreenSize panning = {kept.panning_width_px, kept.panning_height_px};
  return OutputPlan{index, kept.scale,
                    AreaOf(output, kept.x, kept.y, panning, output.modes[*index], kept.scale)};
}

// The plan that puts back the desk before `memory`'s change, where the desk
// is as that change left it.
std::optional<Plan> Recall(const std::vector<Output>& outputs, const DeskLimits& limits,
                           const LayoutMemory& memory) {
  const auto target = OutputNamed(outputs, memory.target);
  if (!target || DescribeDesk(outputs) != memory.after) return std::nullopt;
  Plan plan = Unchanged(outputs, *target);
  std::vector<bool> found(outputs.size(), false);
  for (const RememberedOutput& kept : memory.before) {
    const auto i = OutputNamed(outputs, kept.name);
    if (!i || found[*i]) return std::nullopt;
    const auto next = RecallOutput(outputs[*i], kept);
    if (!next) return std::nullopt;
    found[*i] = true;
    plan.outputs[*i] = *next;
  }
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (Shows(outputs[i]) && !found[i]) return std::nullopt;
  }
  if (!CheckPlan(outputs, plan, limits).ok()) return std::nullopt;
  return plan;
}

ScreenSize PlannedSize(const std::vector<Output>& outputs, const Plan& plan) {
  const Output& target = outputs[plan.target];
  const ModeCandidate shown =
      AsShown(target.quarter_turn, target.modes[*plan.outputs[plan.target].mode]);
  return {shown.width_px, shown.height_px};
}

std::string PlaceText(const ModeCandidate& mode, std::int32_t x, std::int32_t y, bool rate) {
  std::string text = SizeText({mode.width_px, mode.height_px});
  if (rate) text += " (" + HertzText(mode.refresh_mhz) + " Hz)";
  return text + " at " + std::to_string(x) + "," + std::to_string(y);
}

}  // namespace

bool Shows(const Output& output) {
  return output.enabled && output.current_mode && *output.current_mode < output.modes.size();
}

ModeCandidate AsShown(bool quarter_turn, const OutputMode& mode) {
  return quarter_turn
             ? ModeCandidate{mode.height_px, mode.width_px, mode.refresh_mhz, mode.progressive}
             : ModeCandidate{mode.width_px, mode.height_px, mode.refresh_mhz, mode.progressive};
}

DisplayMode ShownMode(const Output& output) {
  const ModeCandidate shown = AsShown(output.quarter_turn, output.modes[*output.current_mode]);
  return {shown.width_px, shown.height_px, HzOfMillihertz(shown.refresh_mhz)};
}

std::optional<std::size_t> TargetOutput(const std::vector<Output>& outputs,
                                        const std::optional<LayoutMemory>& memory) {
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (Shows(outputs[i]) && outputs[i].primary) return i;
  }
  if (memory && DescribeDesk(outputs) == memory->after) {
    if (const auto changed = OutputNamed(outputs, memory->target)) return changed;
  }
  std::int64_t left = std::numeric_limits<std::int64_t>::max(), top = left;
  for (const Output& output : outputs) {
    if (Shows(output)) left = std::min<std::int64_t>(left, output.x);
    if (Shows(output)) top = std::min<std::int64_t>(top, output.y);
  }
  std::optional<std::size_t> corner, first;
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (!Shows(outputs[i])) continue;
    if (!corner && outputs[i].x == left && outputs[i].y == top) corner = i;
    if (!first) first = i;
  }
  return corner ? corner : first;
}

ApplyResult PlanOutputChange(const std::vector<Output>& outputs, const DeskLimits& limits,
                             std::size_t target, std::uint32_t width_px,
                             std::uint32_t height_px, const std::optional<LayoutMemory>& memory,
                             Plan* plan) {
  if (memory) {
    const auto recalled = Recall(outputs, limits, *memory);
    if (recalled && recalled->target == target &&
        PlannedSize(outputs, *recalled) == ScreenSize{width_px, height_px}) {
      *plan = *recalled;
      return {};
    }
  }
  *plan = Unchanged(outputs, target);
  return PlanAfresh(outputs, limits, width_px, height_px, plan);
}

ApplyResult PlanWayBack(const std::vector<Output>& outputs, const DeskLimits& limits,
                        const std::optional<LayoutMemory>& memory, Plan* plan) {
  if (!memory) return {ApplyError::kNoWayBack, {}};
  const auto recalled = Recall(outputs, limits, *memory);
  if (!recalled) return {ApplyError::kDeskChangedSince, {}};
  *plan = *recalled;
  return {};
}

ScreenSize WayBackSize(const LayoutMemory& memory) {
  for (const RememberedOutput& kept : memory.before) {
    if (kept.name != memory.target) continue;
    const ModeCandidate shown =
        AsShown(kept.quarter_turn, {kept.width_px, kept.height_px, kept.refresh_mhz, true, {}});
    return {shown.width_px, shown.height_px};
  }
  return {};
}

std::optional<std::size_t> OutputNamed(const std::vector<Output>& outputs,
                                       const std::string& name) {
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (Shows(outputs[i]) && outputs[i].name == name) return i;
  }
  return std::nullopt;
}

std::string OutputNames(const std::vector<Output>& outputs) {
  std::string names;
  for (const Output& output : outputs) {
    if (Shows(output)) names += (names.empty() ? "" : ", ") + output.name;
  }
  return names;
}

std::string NearestSizes(const Output& output, ScreenSize asked) {
  std::vector<ScreenSize> sizes;
  for (const OutputMode& mode : output.modes) {
    const ModeCandidate shown = AsShown(output.quarter_turn, mode);
    const ScreenSize size = {shown.width_px, shown.height_px};
    if (std::find(sizes.begin(), sizes.end(), size) == sizes.end()) sizes.push_back(size);
  }
  const auto distance = [asked](ScreenSize size) {
    return std::int64_t(layout::Magnitude(std::int64_t(size.width_px) - asked.width_px)) +
           layout::Magnitude(std::int64_t(size.height_px) - asked.height_px);
  };
  std::stable_sort(sizes.begin(), sizes.end(),
                   [&](ScreenSize a, ScreenSize b) { return distance(a) < distance(b); });
  std::string text;
  for (std::size_t i = 0; i < sizes.size() && i < 2; ++i) {
    text += (i == 0 ? "" : ", ") + SizeText(sizes[i]);
  }
  return text;
}

RememberedDesk DescribeDesk(const std::vector<Output>& outputs) {
  RememberedDesk desk;
  for (const Output& o : outputs) {
    if (!Shows(o)) continue;
    const OutputMode& mode = o.modes[*o.current_mode];
    desk.push_back({o.name, o.x, o.y, o.scale, o.quarter_turn, o.primary, o.panning.width_px,
                    o.panning.height_px, mode.width_px, mode.height_px, mode.refresh_mhz});
  }
  return desk;
}

std::string Misplaced(const std::vector<Output>& before, const Plan& plan,
                      const std::vector<Output>& now, bool compare_rate) {
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (!Shows(before[i])) continue;
    const OutputPlan& next = plan.outputs[i];
    const ModeCandidate wanted = AsShown(before[i].quarter_turn, before[i].modes[*next.mode]);
    const std::string planned = PlaceText(wanted, next.area.x, next.area.y, compare_rate);
    const auto j = OutputNamed(now, before[i].name);
    if (!j) return before[i].name + " shows nothing, not " + planned;
    const Output& output = now[*j];
    const ModeCandidate shown = AsShown(output.quarter_turn, output.modes[*output.current_mode]);
    const bool as_planned = shown.width_px == wanted.width_px &&
                            shown.height_px == wanted.height_px && output.x == next.area.x &&
                            output.y == next.area.y &&
                            (!compare_rate || SameRate(shown.refresh_mhz, wanted.refresh_mhz));
    if (!as_planned) {
      return output.name + " shows " + PlaceText(shown, output.x, output.y, compare_rate) +
             ", not " + planned;
    }
    const ScreenSize pans = {next.area.width_px, next.area.height_px};
    if (before[i].panning != ScreenSize{} && output.panning != pans) {
      return output.name + " pans over " + SizeText(output.panning) + ", not " + SizeText(pans);
    }
  }
  return {};
}

}  // namespace pelmode
