// The command line and the change logic over a scripted stand-in for the
// platform layer: no display, no keyboard.
#include "command_line.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform.h"
#include "string_sink.h"

namespace pelmode {
namespace {

using Sizes = std::vector<std::pair<std::uint32_t, std::uint32_t>>;


struct Fake {
  std::optional<DisplayMode> current;
  ApplyResult result;
  int displays_opened = 0;
  Sizes applied;
  const StringSink* out = nullptr;
  std::string out_at_key_wait;
} fake;

class FakeDisplay final : public Display {
 public:
  std::optional<DisplayMode> QueryCurrentMode() override { return fake.current; }
  ApplyResult ApplyMode(std::uint32_t width_px, std::uint32_t height_px) override {
    fake.applied.emplace_back(width_px, height_px);
    return fake.result;
  }
};

}  // namespace

std::unique_ptr<Display> OpenDisplay() {
  ++fake.displays_opened;
  return std::make_unique<FakeDisplay>();
}
void PrepareStandardStreams() {}
void WaitForKeyPress() { fake.out_at_key_wait = fake.out->text(); }

namespace {

struct Case {
  const char* what;
  std::vector<const char*> args;
  std::optional<DisplayMode> current;
  ApplyResult result;
  int status;
  const char* out;
  const char* err;
};

constexpr char kUsage[] =
    "\nInvalid arguments, have nothing to do...\nUseage: [Width] [Height]\n"
    "\nPress any key to exit...\n";

TEST(CommandLineTest, RunsPrintsAndWaitsLast) {
  const ApplyResult refused = {ApplyError::kSystemRefused, {}, -5};
  const Case cases[] = {
      {"no argument", {}, {}, {}, 2, kUsage, ""},
      {"three arguments", {"800", "600", "60"}, {}, {}, 2, kUsage, ""},
      {"bad width", {"abc", "600"}, {}, {}, 2, kUsage, "Invalid width: abc\n"},
      {"both bad", {"-1", ""}, {}, {}, 2, kUsage, "Invalid width: -1\nInvalid height: \n"},
      {"done", {" +1280px", "720"}, DisplayMode{1920, 1080, 60}, {}, 0,
       "\nCurrent: 1920x1080    60Hz\n\nTarget: 1280x720\n\nSetting done.\n\nPress any key to exit...\n", ""},
      {"refused, mode unknown", {"1280", "720"}, std::nullopt, refused, 1,
       "\nCurrent: unknown\n\nTarget: 1280x720\n\nPress any key to exit...\n",
       "\nSetting failed: the system refused the change (DISP_CHANGE_BADPARAM, code -5).\n"},
      {"--version: no change, no wait", {"--version"}, {}, {}, 0, "Pelmode 1.0.0\n", ""},
      {"-h: no change, no wait", {"-h"}, {}, {}, 0, "Usage: Pelmode WIDTH HEIGHT\n", ""},
  };
  for (const Case& c : cases) {
    std::vector<const char*> args = c.args;
    args.insert(args.begin(), "Pelmode");
    StringSink out, err;
    fake = {c.current, c.result, 0, {}, &out, {}};
    EXPECT_EQ(RunCommandLine(int(args.size()), args.data(), out, err), c.status) << c.what;
    const bool answers = c.args.size() == 1 && c.args[0][0] == '-';
    EXPECT_EQ(answers ? out.text().substr(0, std::string(c.out).size()) : out.text(), c.out) << c.what;
    EXPECT_EQ(err.text(), c.err) << c.what;
    EXPECT_EQ(fake.out_at_key_wait, answers ? "" : c.out) << c.what << ": output after the prompt";
    const bool changes = c.status != 2 && !answers;
    EXPECT_EQ(fake.displays_opened, changes ? 1 : 0) << c.what;
    EXPECT_EQ(fake.applied, (changes ? Sizes{{1280, 720}} : Sizes())) << c.what;
  }
}

}  // namespace
}  // namespace pelmode
