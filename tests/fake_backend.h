// A display for the driver's tests: a desk that a change really moves, a
// memory kept in a string, and knobs for what real systems were seen doing.
#pragma once

#include <string>
#include <vector>

#include "backend.h"

namespace pelmode {

class FakeBackend final : public Backend, public MemoryStore {
 public:
  std::vector<Output> desk;
  std::vector<ApplyResult> answers;  // one a change, in turn; then done
  std::string ignored;               // an output the system leaves as it is
  std::string memory;
  DeskLimits limits;
  ApplyResult unreadable;  // what reading answers where it fails
  std::vector<Plan> carried;

  std::string Name() const override { return "fake"; }
  ApplyResult Read(Reading* reading) override {
    if (!unreadable.ok()) return unreadable;
    reading->outputs = desk;
    reading->limits = limits;
    return {};
  }
  ApplyResult Carry(const Reading& reading, const Plan& plan) override {
    carried.push_back(plan);
    const std::size_t turn = carried.size() - 1;
    if (turn < answers.size() && !answers[turn].ok()) return answers[turn];
    for (std::size_t i = 0; i < desk.size(); ++i) {
      Output& output = desk[i];
      if (!Shows(reading.outputs[i]) || output.name == ignored) continue;
      if (output.panning != ScreenSize{}) output.panning = {plan.outputs[i].area.width_px, plan.outputs[i].area.height_px};
      output.current_mode = plan.outputs[i].mode;
      output.scale = plan.outputs[i].scale;
      output.x = plan.outputs[i].area.x;
      output.y = plan.outputs[i].area.y;
    }
    return {};
  }
  MemoryStore& Memory() override { return *this; }
  std::string Load() override { return memory; }
  std::string Store(const std::string& text) override {
    memory = text;
    return {};
  }
};

}  // namespace pelmode
