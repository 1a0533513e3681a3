// The driver over a desk that a change really moves: the tries, the check
// after the change, and the memory's way back.
#include "display_driver.h"

#include <gtest/gtest.h>

#include "fake_backend.h"
#include "string_sink.h"

namespace pelmode {
namespace {

const OutputMode k1080 = {1920, 1080, 60000, true, {}}, k720 = {1280, 720, 60000, true, {}};
const OutputMode k1024 = {1280, 1024, 60020, true, {}}, k1536 = {2048, 1536, 60000, true, {}};

Output At(const char* name, std::int32_t x, std::int32_t y, std::vector<OutputMode> modes,
          bool primary = false) {
  return {name, true, primary, x, y, 1, true, false, {}, std::move(modes), 0};
}

// Runs Pelmode WIDTH HEIGHT on the backend; standard error's words.
std::string Change(FakeBackend& backend, std::uint32_t width_px, std::uint32_t height_px) {
  StringSink out, err;
  const bool done = ChangeDisplayMode(backend, {}, {false, width_px, height_px, {}}, out, err);
  EXPECT_EQ(done, out.text().find("Setting done.") != std::string::npos);
  return err.text();
}

TEST(DisplayDriverTest, TriesAgainOnlyWhileTheOutputsChangeAndChecksTheResult) {
  const ApplyResult changed = {ApplyError::kOutputsChanged, {}};
  struct Case {
    const char* what;
    std::vector<ApplyResult> answers;
    const char* ignored;
    std::size_t carried;
    const char* err;
    DeskLimits limits = {};
  };
  const Case cases[] = {
      {"changed twice, then done", {changed, changed}, "", 3, ""},
      {"changed every time", {changed, changed, changed}, "", 3,
       "\nSetting failed: the monitors kept changing.\n"},
      {"a refusal is final", {{ApplyError::kCompositorRefused, "Scale 1.5 not valid"}}, "", 1,
       "\nSetting failed: the compositor refused the change (Scale 1.5 not valid).\n"},
      {"done, but the target left as it was", {}, "A", 1,
       "\nSetting failed: the change was reported made, but A shows 1920x1080 (60.00 Hz) at 0,0, "
       "not 1280x720 (60.00 Hz) at 0,0.\n"},
      {"done, but the neighbour left as it was", {}, "B", 1,
       "\nSetting failed: the change was reported made, but B shows 1920x1080 (60.00 Hz) at "
       "1920,0, not 1920x1080 (60.00 Hz) at 1280,0.\n"},
      {"a screen too large", {}, "", 0, "\nSetting failed: the monitors would need a screen of 3200x1080, "
       "larger than the display server allows.\n", {0, 32767, {3000, 8192}}},
      {"B beyond the coordinates", {}, "", 0, "\nSetting failed: the other monitors cannot stay joined "
       "to 1280x720 without overlapping.\n", {0, 3000, {8192, 8192}}},
      {"B up to the coordinates' end", {}, "", 1, "", {0, 3200, {3200, 1080}}},
  };
  for (const Case& c : cases) {
    FakeBackend backend;
    backend.desk = {At("A", 0, 0, {k1080, k720}, true), At("B", 1920, 0, {k1080})};
    backend.answers = c.answers;
    backend.ignored = c.ignored, backend.limits = c.limits;
    EXPECT_EQ(Change(backend, 1280, 720), c.err) << c.what;
    EXPECT_EQ(backend.carried.size(), c.carried) << c.what;
    EXPECT_EQ(backend.memory.empty(), *c.err != '\0') << c.what << ": remembered only when done";
  }
}

TEST(DisplayDriverTest, TheWayBackIsExact) {
  Output pans = At("P", 0, 0, {k720, k1536}, true);
  pans.panning = {1920, 1080};
  struct Case {
    const char* what;
    std::vector<Output> desk;
    std::vector<ScreenSize> requests;  // the last one asks for the first size back
  };
  const Case cases[] = {
      {"after a same-size run", {At("A", 0, 0, {k1080, k720}, true), At("B", 640, 1080, {k1024})},
       {{1280, 720}, {1280, 720}, {1920, 1080}}},
      // B follows A's bottom edge up into the desk's top-left corner.
      {"without a primary, the top-left corner taken by another",
       {At("A", 0, 0, {k1080, k1024}), At("B", -1280, 56, {k1024})}, {{1280, 1024}, {1920, 1080}}},
      {"a panning that grew", {pans}, {{2048, 1536}, {1280, 720}}},
  };
  for (const Case& c : cases) {
    FakeBackend backend;
    backend.desk = c.desk;
    for (const ScreenSize& size : c.requests) EXPECT_EQ(Change(backend, size.width_px, size.height_px), "") << c.what;
    EXPECT_EQ(DescribeDesk(backend.desk), DescribeDesk(c.desk)) << c.what;
  }
}

// After a change on A, another client makes B the primary: B, already
// 1920x1080, is the target, and nothing changes.
TEST(DisplayDriverTest, TheMemoryIsForgottenWhenAnotherClientChangedTheDesk) {
  FakeBackend backend;
  backend.desk = {At("A", 0, 0, {k1080, k720}, true), At("B", 1920, 0, {k1080})};
  EXPECT_EQ(Change(backend, 1280, 720), "");
  const std::vector<Output> changed = backend.desk;
  std::swap(backend.desk[0].primary, backend.desk[1].primary);
  EXPECT_EQ(Change(backend, 1920, 1080), "");
  EXPECT_EQ(backend.desk[0].current_mode, changed[0].current_mode);
  EXPECT_EQ(backend.desk[1].x, changed[1].x);
}

}  // namespace
}  // namespace pelmode
