#include "display_driver.h"

#include "failure_reason.h"
#include "layout_memory.h"

namespace pelmode {
namespace {

// Changes refused because another client changed the outputs meanwhile are
// planned again on the new state, this many times in all.
constexpr int kTries = 3;

void PrintCurrentMode(const std::optional<DisplayMode>& mode, TextSink& out) {
  out << "Current: ";
  if (mode) {
    out << mode->width_px << "x" << mode->height_px << "    " << mode->refresh_hz << "Hz";
  } else {
    out << "unknown";
  }
  WriteLine(out, "\n");
}

// One run's view of the display: the last reading and the memory.
struct Desk {
  Reading reading;
  std::optional<LayoutMemory> memory;
  std::optional<std::size_t> target;
};

std::optional<DisplayMode> TargetMode(const Desk& desk) {
  if (!desk.target) return std::nullopt;
  return ShownMode(desk.reading.outputs[*desk.target]);
}

// A reading that another client's change spoilt is made again.
ApplyResult ReadWithTries(Backend& backend, Reading* reading) {
  ApplyResult read;
  for (int attempt = 0; attempt < kTries; ++attempt) {
    read = backend.Read(reading);
    if (read.error != ApplyError::kOutputsChanged) return read;
  }
  return {ApplyError::kOutputsKeptChanging, {}};
}

// Reads the display and the memory; the target follows from both.
ApplyResult ReadDesk(Backend& backend, Desk* desk) {
  const ApplyResult read = ReadWithTries(backend, &desk->reading);
  if (!read.ok()) return read;
  desk->memory = ParseMemory(backend.Memory().Load());
  desk->target = TargetOutput(desk->reading.outputs, desk->memory);
  return {};
}

ApplyResult PlanAndCarry(Backend& backend, const Desk& desk, std::uint32_t width_px,
                         std::uint32_t height_px, Plan* plan) {
  if (desk.reading.emulated) return {ApplyError::kWaylandSession, backend.Name()};
  if (!desk.target) return {ApplyError::kNoActiveOutput, {}};
  const ApplyResult planned = PlanOutputChange(desk.reading.outputs, desk.reading.limits,
                                               *desk.target, width_px, height_px, desk.memory,
                                               plan);
  return planned.ok() ? backend.Carry(desk.reading, *plan) : planned;
}

ApplyResult CarryWithTries(Backend& backend, Desk* desk, std::uint32_t width_px,
                           std::uint32_t height_px, Plan* plan) {
  for (int attempt = 0; attempt < kTries; ++attempt) {
    if (attempt > 0) {
      if (const ApplyResult read = ReadDesk(backend, desk); !read.ok()) return read;
    }
    const ApplyResult carried = PlanAndCarry(backend, *desk, width_px, height_px, plan);
    if (carried.error != ApplyError::kOutputsChanged) return carried;
  }
  return {ApplyError::kOutputsKeptChanging, {}};
}

// The system's word is not enough: the outputs are read back and compared
// with the plan. Only then is the change remembered, as the system reports
// it, so that the next run recognises the desk exactly.
ApplyResult CheckAndRemember(Backend& backend, const Reading& before, const Plan& plan,
                             TextSink& err) {
  Reading after;
  if (const ApplyResult read = ReadWithTries(backend, &after); !read.ok()) return read;
  const std::string wrong = Misplaced(before.outputs, plan, after.outputs, !before.rate_by_system);
  if (!wrong.empty()) return {ApplyError::kNotAsPlanned, wrong};
  LayoutMemory memory{before.outputs[plan.target].name, DescribeDesk(before.outputs),
                      DescribeDesk(after.outputs)};
  // A change that changed nothing keeps the way back of the one before.
  if (memory.before == memory.after) return {};
  if (const std::string why = backend.Memory().Store(FormatMemory(memory)); !why.empty()) {
    WriteLine(err, why);
  }
  return {};
}

}  // namespace

bool ChangeDisplayMode(Backend& backend, const std::string& notice, std::uint32_t width_px,
                       std::uint32_t height_px, TextSink& out, TextSink& err) {
  if (!notice.empty()) WriteLine(err, notice);
  Desk desk;
  ApplyResult result = ReadDesk(backend, &desk);
  if (const std::string refusal = backend.Memory().Refusal(); !refusal.empty()) {
    WriteLine(err, refusal);
  }
  PrintCurrentMode(TargetMode(desk), out);
  // Flushed before the change: the screen may go dark while it is made.
  WriteLine(out << "Target: " << width_px << "x" << height_px, "");
  Plan plan;
  if (result.ok()) result = CarryWithTries(backend, &desk, width_px, height_px, &plan);
  if (result.ok()) result = CheckAndRemember(backend, desk.reading, plan, err);
  if (result.ok()) {
    WriteLine(out, "\nSetting done.");
    return true;
  }
  WriteFailureReason(err << "\nSetting failed: ", result, width_px, height_px);
  WriteLine(err, ".");
  return false;
}

}  // namespace pelmode
