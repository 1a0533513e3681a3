#include "command_line.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "fake_platform.h"

namespace pelmode {
namespace {

using testing::Fake;

struct Case {
  const char* what;
  std::vector<const char*> args;
  std::optional<DisplayMode> current;
  ApplyResult result;
  int status;
  const char* out;
  const char* err;
  int displays_opened;
};

constexpr char kUsage[] =
    "\nInvalid arguments, have nothing to do...\nUseage: [Width] [Height]\n"
    "\nPress any key to exit...\n";

TEST(CommandLineTest, RunsPrintsAndWaitsLast) {
  const ApplyResult refused = {ApplyError::kSystemRefused, "code -5"};
  const Case cases[] = {
      {"no argument", {}, {}, {}, 2, kUsage, "", 0},
      {"three arguments", {"800", "600", "60"}, {}, {}, 2, kUsage, "", 0},
      {"bad width", {"abc", "600"}, {}, {}, 2, kUsage, "Invalid width: abc\n", 0},
      {"both bad", {"-1", ""}, {}, {}, 2, kUsage, "Invalid width: -1\nInvalid height: \n", 0},
      {"done", {" +1280px", "720"}, DisplayMode{1920, 1080, 60}, {}, 0,
       "\nCurrent: 1920x1080    60Hz\n\nTarget: 1280x720\n\nSetting done.\n"
       "\nPress any key to exit...\n",
       "", 1},
      {"refused, mode unknown", {"1280", "720"}, std::nullopt, refused, 1,
       "\nCurrent: unknown\n\nTarget: 1280x720\n\nPress any key to exit...\n",
       "\nSetting failed: the system refused the change (code -5).\n", 1},
  };
  for (const Case& c : cases) {
    std::vector<const char*> args = c.args;
    args.insert(args.begin(), "Pelmode");
    std::ostringstream out, err;
    Fake() = {c.current, c.result, 0, {}, &out, {}};
    EXPECT_EQ(RunCommandLine(int(args.size()), args.data(), out, err), c.status) << c.what;
    EXPECT_EQ(out.str(), c.out) << c.what;
    EXPECT_EQ(err.str(), c.err) << c.what;
    EXPECT_EQ(Fake().displays_opened, c.displays_opened) << c.what;
    EXPECT_EQ(Fake().out_at_key_wait, c.out) << c.what << ": output after the prompt";
    if (c.displays_opened > 0) {
      EXPECT_EQ(Fake().applied, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{1280, 720}}))
          << c.what;
    }
  }
}

}  // namespace
}  // namespace pelmode
