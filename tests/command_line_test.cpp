#include "command_line.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "fake_platform.h"

namespace pelmode {
namespace {

using testing::Fake;
using testing::FakePlatform;

constexpr char kUsage[] =
    "\nInvalid arguments, have nothing to do...\nUseage: [Width] "
    "[Height]\n\nPress any key to exit...\n";

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome RunWith(std::vector<const char*> args, FakePlatform fake = {}) {
  args.insert(args.begin(), "Pelmode");
  std::ostringstream out;
  std::ostringstream err;
  Fake() = fake;
  Fake().watched_out = &out;
  const int status = RunCommandLine(int(args.size()), args.data(), out, err);
  return {status, out.str(), err.str()};
}

FakePlatform Showing(std::optional<DisplayMode> mode, ApplyResult result = {}) {
  FakePlatform fake;
  fake.current_mode = mode;
  fake.apply_result = result;
  return fake;
}

void ExpectKeyWaitLast(const Outcome& run) {
  EXPECT_EQ(Fake().key_waits, 1);
  EXPECT_EQ(Fake().out_at_key_wait, run.out) << "output after the prompt";
}

struct RefusedArgsCase {
  std::vector<const char*> args;
  const char* err;
};

void PrintTo(const RefusedArgsCase& c, std::ostream* os) {
  for (const char* arg : c.args) *os << '"' << arg << "\" ";
}

class RefusedArgsTest : public ::testing::TestWithParam<RefusedArgsCase> {};

TEST_P(RefusedArgsTest, PrintsUsageAndTouchesNoDisplay) {
  const Outcome run = RunWith(GetParam().args);
  EXPECT_EQ(run.status, kExitInvalidArguments);
  EXPECT_EQ(run.out, kUsage);
  EXPECT_EQ(run.err, GetParam().err);
  EXPECT_EQ(Fake().displays_opened, 0);
  ExpectKeyWaitLast(run);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedArgsTest,
    ::testing::Values(
        RefusedArgsCase{{}, ""}, RefusedArgsCase{{"800"}, ""},
        RefusedArgsCase{{"800", "600", "60"}, ""},
        RefusedArgsCase{{"abc", "600"}, "Invalid width: abc\n"},
        RefusedArgsCase{{"800", "600x"}, "Invalid height: 600x\n"},
        RefusedArgsCase{{"-1", ""}, "Invalid width: -1\nInvalid height: \n"},
        RefusedArgsCase{{"0", "2147483648"},
                        "Invalid width: 0\nInvalid height: 2147483648\n"}));

struct ChangeCase {
  const char* name;
  std::vector<const char*> args;
  FakePlatform fake;
  int status;
  const char* out;
  const char* err;
};

void PrintTo(const ChangeCase& c, std::ostream* os) { *os << c.name; }

class ChangeTest : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(ChangeTest, ReportsTheChangeByteForByte) {
  const ChangeCase& c = GetParam();
  const Outcome run = RunWith(c.args, c.fake);
  EXPECT_EQ(run.status, c.status);
  EXPECT_EQ(run.out, c.out);
  EXPECT_EQ(run.err, c.err);
  ASSERT_EQ(Fake().applied.size(), 1u);
  EXPECT_EQ(Fake().applied[0].first, 1280u);
  EXPECT_EQ(Fake().applied[0].second, 720u);
  ExpectKeyWaitLast(run);
}

constexpr char kDone[] =
    "\nCurrent: 1920x1080    60Hz\n\nTarget: 1280x720\n\nSetting done.\n"
    "\nPress any key to exit...\n";
constexpr char kRefusedOut[] =
    "\nCurrent: 1920x1080    60Hz\n\nTarget: 1280x720\n"
    "\nPress any key to exit...\n";
const DisplayMode kFullHd{1920, 1080, 60};

INSTANTIATE_TEST_SUITE_P(
    Cases, ChangeTest,
    ::testing::Values(
        ChangeCase{"Done", {"1280", "720"}, Showing(kFullHd), 0, kDone, ""},
        ChangeCase{"NumbersAsTyped", {" +1280px", "0720PX "}, Showing(kFullHd),
                   0, kDone, ""},
        ChangeCase{"CurrentUnknown", {"1280", "720"}, Showing(std::nullopt), 0,
                   "\nCurrent: unknown\n\nTarget: 1280x720\n\nSetting done.\n"
                   "\nPress any key to exit...\n",
                   ""},
        ChangeCase{"ZeroRefreshRate", {"1280", "720"},
                   Showing(DisplayMode{1280, 1024, 0}), 0,
                   "\nCurrent: 1280x1024    0Hz\n\nTarget: 1280x720\n\n"
                   "Setting done.\n\nPress any key to exit...\n",
                   ""},
        ChangeCase{"NotOffered", {"1280", "720"},
                   Showing(kFullHd, {ApplyError::kModeNotOffered, {}}), 1,
                   kRefusedOut,
                   "\nSetting failed: the display does not offer 1280x720.\n"},
        ChangeCase{"CannotOpen", {"1280", "720"},
                   Showing(std::nullopt, {ApplyError::kCannotOpenDisplay, ":5"}),
                   1,
                   "\nCurrent: unknown\n\nTarget: 1280x720\n"
                   "\nPress any key to exit...\n",
                   "\nSetting failed: cannot open display \":5\".\n"},
        ChangeCase{"SystemRefused", {"1280", "720"},
                   Showing(kFullHd, {ApplyError::kSystemRefused, "code -5"}), 1,
                   kRefusedOut,
                   "\nSetting failed: the system refused the change (code -5).\n"}),
    [](const auto& info) { return info.param.name; });

TEST(CommandLineTest, SuccessNobodyCouldReadAboutIsNoSuccess) {
  const std::vector<std::pair<std::vector<const char*>, int>> cases = {
      {{"Pelmode", "1280", "720"}, kExitChangeFailed},
      {{"Pelmode"}, kExitInvalidArguments},
  };
  for (const auto& [args, status] : cases) {
    Fake() = Showing(kFullHd);
    std::ostringstream out;
    std::ostringstream err;
    out.setstate(std::ios::badbit);
    EXPECT_EQ(RunCommandLine(int(args.size()), args.data(), out, err), status);
    EXPECT_EQ(Fake().key_waits, 1);
  }
}

}  // namespace
}  // namespace pelmode
