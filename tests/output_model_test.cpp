#include "output_model.h"

#include <gtest/gtest.h>

#include "screen_layout.h"

namespace pelmode {
namespace {

// An enabled output at x,y showing its first mode.
Output At(std::int32_t x, std::int32_t y, std::vector<OutputMode> modes, double scale = 1,
          bool turned = false, bool primary = false) {
  return {"OUT" + std::to_string(x) + "," + std::to_string(y), true, primary, x, y, scale, turned,
          modes, 0};
}

const OutputMode k1080 = {1920, 1080, 60000}, k720 = {1280, 720, 59940}, k720at50 = {1280, 720, 50000};
const OutputMode k768 = {1024, 768, 60004}, k768at75 = {1024, 768, 75029};

TEST(OutputModelTest, TargetIsThePrimaryElseTheOneAtTheOriginElseTheFirst) {
  Output off = At(0, 0, {k1080});
  off.enabled = false;
  EXPECT_EQ(TargetOutput({At(1920, 0, {k1080}), At(0, 0, {k1080}, 1, false, true)}), 1u);
  EXPECT_EQ(TargetOutput({At(1920, 0, {k1080}), At(0, 0, {k1080})}), 1u);
  EXPECT_EQ(TargetOutput({off, At(-1920, 0, {k1080}), At(5, 0, {k1080})}), 1u);
  EXPECT_EQ(TargetOutput({off}), std::nullopt);
  EXPECT_EQ(HzOfMillihertz(59940), 60u);
  EXPECT_EQ(HzOfMillihertz(59499), 59u);
  const auto current = CurrentOutputMode({At(0, 0, {k768}, 1, true)});
  EXPECT_EQ(current->width_px, 768u);
  EXPECT_EQ(current->refresh_hz, 60u);
}

TEST(OutputModelTest, PlansTheModeAndTheLayoutOnLogicalSizes) {
  struct Case {
    const char* what;
    std::vector<Output> outputs;
    ScreenSize size;
    ApplyResult result;
    std::vector<std::optional<std::size_t>> modes;
    std::vector<std::pair<std::int32_t, std::int32_t>> positions;
  };
  Output mirror = At(0, 0, {k1080, k768});
  mirror.name = "MIRROR";
  const Case cases[] = {
      {"neighbour follows", {At(0, 0, {k1080, k720}), At(1920, 0, {k1080})}, {1280, 720}, {},
       {1, std::nullopt}, {{0, 0}, {1280, 0}}},
      {"current rate kept", {At(0, 0, {k1080, k768, k768at75})}, {1024, 768}, {}, {1}, {{0, 0}}},
      {"highest rate where the current is not offered", {At(0, 0, {{1920, 1080, 55000}, k720at50, k720})},
       {1280, 720}, {}, {2}, {{0, 0}}},
      {"scale 2: the neighbour moves by logical pixels", {At(0, 0, {k1080, k720}, 2), At(960, 0, {k1080})},
       {1280, 720}, {}, {1, std::nullopt}, {{0, 0}, {640, 0}}},
      {"turned: the size asked is the shown one", {At(0, 0, {k1080, k720}, 1, true), At(1080, 0, {k1080})},
       {720, 1280}, {}, {1, std::nullopt}, {{0, 0}, {720, 0}}},
      {"size not offered", {At(0, 0, {k1080})}, {1000, 700}, {ApplyError::kModeNotOffered, {}}, {}, {}},
      {"mirror without the size", {At(0, 0, {k1080, k720}), mirror}, {1280, 720},
       {ApplyError::kMirrorNotOffered, "MIRROR"}, {}, {}},
  };
  for (const Case& c : cases) {
    OutputChange change;
    const ApplyResult result = PlanOutputChange(c.outputs, c.size.width_px, c.size.height_px, &change);
    EXPECT_EQ(result.error, c.result.error) << c.what;
    EXPECT_EQ(result.detail, c.result.detail) << c.what;
    if (!result.ok()) continue;
    EXPECT_EQ(change.modes, c.modes) << c.what;
    EXPECT_EQ(change.positions, c.positions) << c.what;
  }
}

}  // namespace
}  // namespace pelmode
