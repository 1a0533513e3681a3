// The command line and the change logic over a stand-in for the platform
// layer: no display, no keyboard.
#include "command_line.h"

#include <gtest/gtest.h>

#include <vector>

#include "fake_backend.h"
#include "string_sink.h"

namespace pelmode {
namespace {

// The display every run opens, kept here for the checks after it: OUT
// showing 1920x1080 beside 1280x720 and 1440x640 (as many pixels).
FakeBackend shown;
int displays_opened = 0;
const StringSink* out_sink = nullptr;
std::string out_at_key_wait;

class Borrowed final : public Backend {
 public:
  std::string Name() const override { return shown.Name(); }
  ApplyResult Read(Reading* reading) override { return shown.Read(reading); }
  ApplyResult Carry(const Reading& reading, const Plan& plan) override { return shown.Carry(reading, plan); }
  MemoryStore& Memory() override { return NoMemory(); }
};

}  // namespace

OpenedDisplay OpenDisplay() {
  ++displays_opened;
  return {std::make_unique<Borrowed>(), {}};
}
void PrepareStandardStreams() {}
void WaitForKeyPress() { out_at_key_wait = out_sink->text(); }
KeyWait WaitForKeyPressWithin(int, void (*)(int, void*), void*) { return KeyWait::kKey; }
bool StandardOutputIsTerminal() { return false; }
const char* const kDocumentation = "the manual";
const char* const kNoInput = "<none";

namespace {

struct Case {
  const char* what;
  std::vector<const char*> args;
  int status;
  const char* out;
  const char* err;
  std::size_t changes = 0;
  ApplyResult unreadable = {};
};

constexpr char kUsage[] =
    "\nInvalid arguments, have nothing to do...\nUseage: [Width] [Height]\n"
    "\nPress any key to exit...\n";
constexpr char kDone[] =
    "\nCurrent: 1920x1080    60Hz\n\nTarget: 1280x720\n\nSetting done.\n";

TEST(CommandLineTest, RunsPrintsAndWaitsLast) {
  const ApplyResult refused = {ApplyError::kSystemRefused, {}, -5};
  const std::string done = std::string(kDone) + "\nPress any key to exit...\n";
  const Case cases[] = {
      {"no argument", {}, 2, kUsage, "Invalid number of arguments: 0 (WIDTH and HEIGHT are needed)\n"},
      {"both bad, a negative number is no option", {"-1", "-"}, 2, kUsage,
       "Invalid width: -1\nInvalid height: -\n"},
      {"an unknown option", {"--bogus", "800", "600"}, 2, kUsage, "Invalid option: --bogus\n"},
      {"--try out of range", {"--try=3601", "800", "600"}, 2, kUsage, "Invalid --try seconds: 3601\n"},
      {"--output without a name", {"800", "600", "-o"}, 2, kUsage, "Invalid option: -o\n"},
      {"--back takes no size", {"--back", "800", "600"}, 2, kUsage,
       "Invalid number of arguments: 2 (--back takes none)\n"},
      {"done", {" +1280px", "720"}, 0, done.c_str(), "", 1},
      {"options after the sizes", {"1280", "720", "--output", "OUT"}, 0, done.c_str(), "", 1},
      {"refused, mode unknown", {"1280", "720"}, 1,
       "\nCurrent: unknown\n\nTarget: 1280x720\n\nPress any key to exit...\n",
       "\nSetting failed: the system refused the change (DISP_CHANGE_BADPARAM, code -5).\n", 0, refused},
      {"--list: no change, no wait, an interlaced mode marked", {"--list"}, 0,
       "OUT at 0,0 (target)\n  1920x1080  60.00*\n  1440x640   50.00\n  1280x720   60.00i\n", ""},
      {"--list takes no --try", {"--list", "--try"}, 2, "", "Invalid arguments: --list takes no sizes, --back or --try\n"},
      {"--list takes no --back", {"--list", "--back"}, 2, "", "Invalid arguments: --list takes no sizes, --back or --try\n"},
      {"--version: no change, no wait", {"--version"}, 0, "Pelmode 1.0.0\n", ""},
      {"/?: no change, no wait", {"/?"}, 0, "Usage: Pelmode [OPTION]... WIDTH HEIGHT\n", ""},
  };
  for (const Case& c : cases) {
    std::vector<const char*> args = c.args;
    args.insert(args.begin(), "/usr/bin/Pelmode");
    StringSink out, err;
    shown.carried.clear(), displays_opened = 0, out_at_key_wait.clear(), out_sink = &out;
    shown.desk = {{"OUT", true, true, 0, 0, 1, true, false, {},
                   {{1920, 1080, 60000, true, {}}, {1280, 720, 60000, false, {}}, {1440, 640, 50000, true, {}}}, 0}};
    shown.unreadable = c.unreadable;
    EXPECT_EQ(RunCommandLine(int(args.size()), args.data(), out, err), c.status) << c.what;
    const bool answers = c.args.size() == 1 && (c.args[0] == std::string("--version") || c.args[0] == std::string("/?"));
    const bool lists = !c.args.empty() && c.args[0] == std::string("--list");
    EXPECT_EQ(answers ? out.text().substr(0, std::string(c.out).size()) : out.text(), c.out) << c.what;
    EXPECT_EQ(err.text(), c.err) << c.what;
    EXPECT_EQ(out_at_key_wait, answers || lists ? "" : c.out) << c.what << ": output after the prompt";
    EXPECT_EQ(displays_opened, c.status != 2 && !answers ? 1 : 0) << c.what;
    EXPECT_EQ(shown.carried.size(), c.changes) << c.what;
  }
}

}  // namespace
}  // namespace pelmode
