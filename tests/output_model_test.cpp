#include "output_model.h"

#include <gtest/gtest.h>

namespace pelmode {
namespace {

// An enabled output at x,y showing its first mode.
Output At(std::int32_t x, std::int32_t y, std::vector<OutputMode> modes, double scale = 1,
          bool turned = false, bool primary = false) {
  return {"OUT" + std::to_string(x) + "," + std::to_string(y), true, primary, x, y, scale, true, turned, {},
          std::move(modes), 0};
}

const OutputMode k1080 = {1920, 1080, 60000, true, {1, 2}};
const OutputMode k720 = {1280, 720, 59940, true, {1}}, k720at60 = {1280, 720, 60000, true, {1}};
const OutputMode k720at50 = {1280, 720, 50000, true, {}}, k768 = {1024, 768, 60004, true, {1}};

TEST(OutputModelTest, TargetIsThePrimaryElseTheTopLeftCornerElseTheFirst) {
  Output off = At(-3000, -3000, {k1080});
  off.enabled = false;
  EXPECT_EQ(TargetOutput({At(1920, 0, {k1080}), At(0, 0, {k1080}, 1, false, true)}, {}), 1u);
  EXPECT_EQ(TargetOutput({off, At(0, 0, {k1080}), At(-1920, 0, {k1080})}, {}), 2u);
  EXPECT_EQ(TargetOutput({At(0, 1080, {k1080}), At(1920, 0, {k1080})}, {}), 0u);  // an L: no corner
  EXPECT_EQ(TargetOutput({off}, {}), std::nullopt);
}

TEST(OutputModelTest, PlansTheModeTheScaleAndTheLayout) {
  struct Case {
    const char* what;
    std::vector<Output> outputs;
    ScreenSize size;
    ApplyResult result;
    std::vector<std::optional<std::size_t>> modes;
    std::vector<double> scales;
    std::vector<Area> areas;
  };
  Output mirror = At(0, 0, {{1920, 1080, 50000, true, {}}, k720at60, k720at50});
  mirror.name = "MIRROR";
  Output lacking = At(0, 0, {k1080});
  lacking.name = "LACKING";
  // wlroots cuts 1366 / 1.5 to 910 and 1024 / 1.5 to 682.
  Output truncating = At(0, 0, {{1366, 768, 60000, true, {}}, {1024, 768, 60000, true, {}}}, 1.5);
  truncating.layout_truncates = true;
  Output panning = At(0, 0, {k720, k1080});
  panning.panning = {1920, 1080};
  const Case cases[] = {
      {"same size: the rate stays", {At(0, 0, {k720, k720at60})}, {1280, 720}, {}, {0}, {1}, {{0, 0, 1280, 720}}},
      {"scale 2 kept where allowed", {At(0, 0, {k720, k1080}, 2)}, {1920, 1080}, {}, {1}, {2}, {{0, 0, 960, 540}}},
      {"wlroots' layout units: cut, not rounded", {truncating, At(910, 0, {k1080})}, {1024, 768}, {},
       {1, 0}, {1.5, 1}, {{0, 0, 682, 512}, {682, 0, 1920, 1080}}},
      {"panning kept: nothing moves", {panning, At(1920, 0, {k1080})}, {1920, 1080}, {},
       {1, 0}, {1, 1}, {{0, 0, 1920, 1080}, {1920, 0, 1920, 1080}}},
      {"a mirror keeps its own rate", {At(0, 0, {k1080, k720}), mirror}, {1280, 720}, {},
       {1, 2}, {1, 1}, {{0, 0, 1280, 720}, {0, 0, 1280, 720}}},
      {"size not offered", {At(0, 0, {k1080})}, {1000, 700}, {ApplyError::kModeNotOffered, {}}, {}, {}, {}},
      {"mirror without the size", {At(0, 0, {k1080, k720}), lacking}, {1280, 720},
       {ApplyError::kMirrorNotOffered, "LACKING"}, {}, {}, {}},
  };
  for (const Case& c : cases) {
    Plan plan;
    const std::size_t target = *TargetOutput(c.outputs, {});
    const ApplyResult result =
        PlanOutputChange(c.outputs, {}, target, c.size.width_px, c.size.height_px, {}, &plan);
    EXPECT_EQ(result.error, c.result.error) << c.what;
    EXPECT_EQ(result.detail, c.result.detail) << c.what;
    if (!result.ok()) continue;
    for (std::size_t i = 0; i < c.outputs.size(); ++i) {
      EXPECT_EQ(plan.outputs[i].mode, c.modes[i]) << c.what << ", output " << i;
      EXPECT_EQ(plan.outputs[i].scale, c.scales[i]) << c.what << ", output " << i;
      EXPECT_EQ(plan.outputs[i].area, c.areas[i]) << c.what << ", output " << i;
    }
  }
}

// A memory says A was 1920x1080 with B at 1920,500; forged ones (any X
// client can write one) must leave the rule to place B at 1920,0.
TEST(OutputModelTest, ARecalledDeskPassesTheChecksOfAFreshOne) {
  Output a = At(0, 0, {k720, k1080}, 1, false, true), b = At(1280, 0, {k1080});
  a.name = "A", b.name = "B";
  const std::vector<Output> desk = {a, b};
  a.current_mode = 1, b.x = 1920, b.y = 500;
  const LayoutMemory genuine = {"A", DescribeDesk({a, b}), DescribeDesk(desk)};
  const DeskLimits x11 = {0, 32767, {8192, 8192}};
  struct Case {
    const char* what;
    std::int32_t x, y;
    double scale;
    std::uint32_t width_px;
    std::int32_t planned_y;
    std::uint32_t refresh_mhz = 60000;
  };
  const Case cases[] = {
      {"genuine: back exactly", 1920, 500, 1, 1920, 500},
      {"over A", 100, 100, 1, 1920, 0},
      {"off the desk", 5000, 3000, 1, 1920, 0},
      {"beyond the screen's origin", -1920, 0, 1, 1920, 0},
      {"above the screen's origin", 1920, -500, 1, 1920, 0},
      {"beyond 16 bits", 1920, -2147483647 - 1, 1, 1920, 0},
      {"beyond the largest screen", 1920, 7600, 1, 1920, 0},
      {"a scale the mode does not allow", 1920, 500, 1.5, 1920, 0},
      {"a mode B does not offer", 1920, 500, 1, 1280, 0},
      {"a rate B does not offer", 1920, 500, 1, 1920, 0, 75000},
  };
  for (const Case& c : cases) {
    LayoutMemory memory = genuine;
    memory.before[1].x = c.x, memory.before[1].y = c.y, memory.before[1].scale = c.scale;
    memory.before[1].width_px = c.width_px, memory.before[1].refresh_mhz = c.refresh_mhz;
    Plan plan;
    ASSERT_TRUE(PlanOutputChange(desk, x11, 0, 1920, 1080, memory, &plan).ok()) << c.what;
    EXPECT_EQ(plan.outputs[1].area, (Area{1920, c.planned_y, 1920, 1080})) << c.what;
  }
  Plan plan;  // B, named, already 1920x1080: A is not put back
  ASSERT_TRUE(PlanOutputChange(desk, x11, 1, 1920, 1080, genuine, &plan).ok());
  EXPECT_EQ(plan.outputs[0].mode, 0u);
}

}  // namespace
}  // namespace pelmode
