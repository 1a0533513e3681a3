#include "display_driver.h"

#include <functional>

#include "failure_reason.h"
#include "monitor_list.h"

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

// One run's view of the display: the last reading, the memory and the
// monitor to change.
struct Desk {
  Reading reading;
  std::optional<LayoutMemory> memory;
  std::optional<std::size_t> target;
};

using Planner = std::function<ApplyResult(const Desk&, Plan*)>;

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

// Reads the display and the memory; the target follows from both, or is
// the monitor named.
ApplyResult ReadDesk(Backend& backend, const std::string& output, Desk* desk) {
  const ApplyResult read = ReadWithTries(backend, &desk->reading);
  if (!read.ok()) return read;
  desk->memory = ParseMemory(backend.Memory().Load());
  const std::vector<Output>& outputs = desk->reading.outputs;
  desk->target = output.empty() ? TargetOutput(outputs, desk->memory) : OutputNamed(outputs, output);
  if (!output.empty() && !desk->target) {
    return {ApplyError::kUnknownOutput, output, 0, OutputNames(outputs)};
  }
  return {};
}

ApplyResult CarryWithTries(Backend& backend, const std::string& output, const Planner& planner,
                           Desk* desk, Plan* plan) {
  for (int attempt = 0; attempt < kTries; ++attempt) {
    if (attempt > 0) {
      if (const ApplyResult read = ReadDesk(backend, output, desk); !read.ok()) return read;
    }
    if (desk->reading.emulated) return {ApplyError::kWaylandSession, backend.Name()};
    const ApplyResult planned = planner(*desk, plan);
    if (!planned.ok()) return planned;
    const ApplyResult carried = backend.Carry(desk->reading, *plan);
    if (carried.error != ApplyError::kOutputsChanged) return carried;
  }
  return {ApplyError::kOutputsKeptChanging, {}};
}

// The system's word is not enough: the outputs are read back and compared
// with the plan. Only then is the change remembered, as the system reports
// it, so that the next run recognises the desk exactly.
ApplyResult CheckAndRemember(Backend& backend, const Reading& before, const Plan& plan,
                             TextSink& err, std::optional<LayoutMemory>* way_back) {
  Reading after;
  if (const ApplyResult read = ReadWithTries(backend, &after); !read.ok()) return read;
  const std::string wrong = Misplaced(before.outputs, plan, after.outputs, !before.rate_by_system);
  if (!wrong.empty()) return {ApplyError::kNotAsPlanned, wrong};
  LayoutMemory memory{before.outputs[plan.target].name, DescribeDesk(before.outputs),
                      DescribeDesk(after.outputs)};
  // A change that changed nothing keeps the way back of the one before.
  if (memory.before != memory.after) {
    if (const std::string why = backend.Memory().Store(FormatMemory(memory)); !why.empty()) {
      WriteLine(err, why);
    }
  }
  if (way_back) *way_back = std::move(memory);
  return {};
}

bool Fail(const ApplyResult& result, ScreenSize size, TextSink& err,
          const char* lead = "\nSetting failed: ") {
  WriteFailureReason(err << lead, result, size.width_px, size.height_px);
  WriteLine(err, ".");
  return false;
}

// Plans, carries out and checks on `desk`, read already; the outcome on
// `out` or `err`.
bool Change(Backend& backend, const std::string& output, const Planner& planner, ScreenSize size,
            Desk* desk, TextSink& out, TextSink& err, std::optional<LayoutMemory>* way_back) {
  Plan plan;
  ApplyResult result = CarryWithTries(backend, output, planner, desk, &plan);
  if (result.ok()) result = CheckAndRemember(backend, desk->reading, plan, err, way_back);
  if (!result.ok()) return Fail(result, size, err);
  WriteLine(out, "\nSetting done.");
  return true;
}

Planner PlannerFor(const Request& request) {
  if (request.back) {
    return [](const Desk& desk, Plan* plan) {
      return PlanWayBack(desk.reading.outputs, desk.reading.limits, desk.memory, plan);
    };
  }
  return [request](const Desk& desk, Plan* plan) {
    if (!desk.target) return ApplyResult{ApplyError::kNoActiveOutput, {}};
    return PlanOutputChange(desk.reading.outputs, desk.reading.limits, *desk.target,
                            request.width_px, request.height_px, desk.memory, plan);
  };
}

void WriteSize(TextSink& out, ScreenSize size) {
  out << (size == ScreenSize{} ? "unknown" : SizeText(size));
}

}  // namespace

bool ChangeDisplayMode(Backend& backend, const std::string& notice, const Request& request,
                       TextSink& out, TextSink& err, std::optional<LayoutMemory>* way_back) {
  if (!notice.empty()) WriteLine(err, notice);
  Desk desk;
  const ApplyResult read = ReadDesk(backend, request.output, &desk);
  if (const std::string refusal = backend.Memory().Refusal(); !refusal.empty()) {
    WriteLine(err, refusal);
  }
  PrintCurrentMode(TargetMode(desk), out);
  ScreenSize size = {request.width_px, request.height_px};
  if (request.back) size = desk.memory ? WayBackSize(*desk.memory) : ScreenSize{};
  // Flushed before the change: the screen may go dark while it is made.
  WriteSize(out << "Target: ", size);
  WriteLine(out, "");
  if (!read.ok()) return Fail(read, size, err);
  return Change(backend, request.output, PlannerFor(request), size, &desk, out, err, way_back);
}

bool PutBack(Backend& backend, const LayoutMemory& way_back, TextSink& out, TextSink& err) {
  const ScreenSize size = WayBackSize(way_back);
  WriteSize(out << "\nPutting back: ", size);
  WriteLine(out, "");
  Desk desk;
  const Planner planner = [&way_back](const Desk& now, Plan* plan) {
    return PlanWayBack(now.reading.outputs, now.reading.limits, way_back, plan);
  };
  const ApplyResult read = ReadDesk(backend, {}, &desk);
  if (!read.ok()) return Fail(read, size, err);
  return Change(backend, {}, planner, size, &desk, out, err, nullptr);
}

bool ListMonitors(Backend& backend, const std::string& notice, const std::string& output,
                  TextSink& out, TextSink& err) {
  if (!notice.empty()) WriteLine(err, notice);
  Desk desk;
  const ApplyResult read = ReadDesk(backend, output, &desk);
  if (!read.ok()) return Fail(read, {}, err, "Listing failed: ");
  WriteMonitorList(desk.reading.outputs, desk.target, out);
  return true;
}

}  // namespace pelmode
