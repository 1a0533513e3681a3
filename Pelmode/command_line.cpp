#include "command_line.h"

#include <string_view>

#include "display_driver.h"
#include "pixel_count.h"
#include "platform.h"

namespace pelmode {
namespace {

ExitStatus RefuseArguments(TextSink& out) {
  WriteLine(out, "Invalid arguments, have nothing to do...\nUseage: [Width] [Height]");
  return kExitInvalidArguments;
}

ExitStatus ChangeFromArguments(int argc, const char* const argv[],
                               TextSink& out, TextSink& err) {
  if (argc != 3) return RefuseArguments(out);
  const auto width_px = ParsePixelCount(argv[1]);
  const auto height_px = ParsePixelCount(argv[2]);
  if (!width_px) WriteLine(err << "Invalid width: ", argv[1]);
  if (!height_px) WriteLine(err << "Invalid height: ", argv[2]);
  if (!width_px || !height_px) return RefuseArguments(out);

  const OpenedDisplay display = OpenDisplay();
  return ChangeDisplayMode(*display.backend, display.notice, *width_px, *height_px, out, err)
             ? kExitModeSet
             : kExitChangeFailed;
}

// The answers to --help and --version, which, as every command-line tool's,
// change nothing and wait for no key; empty for any other command line.
const char* Answer(int argc, const char* const argv[]) {
  if (argc != 2) return nullptr;
  const std::string_view word = argv[1];
  if (word == "--help" || word == "-h") {
    return "Usage: Pelmode WIDTH HEIGHT\n"
           "Switches the display to WIDTH by HEIGHT pixels, reports how that went,\n"
           "and waits for a key press. Exit status: 0 set, 1 refused or failed,\n"
           "2 invalid arguments. See the manual page, Pelmode(1).";
  }
  if (word == "--version") return "Pelmode " PELMODE_VERSION;
  return nullptr;
}

}  // namespace

int RunCommandLine(int argc, const char* const argv[], TextSink& out,
                   TextSink& err) {
  PrepareStandardStreams();
  if (const char* answer = Answer(argc, argv)) {
    WriteLine(out, answer);
    return out.failed() ? kExitChangeFailed : kExitModeSet;
  }
  WriteLine(out, "");
  ExitStatus status = ChangeFromArguments(argc, argv, out, err);
  WriteLine(out, "\nPress any key to exit...");
  // A success that nobody could read about is not reported as one.
  if (status == kExitModeSet && out.failed()) status = kExitChangeFailed;
  WaitForKeyPress();
  return status;
}

}  // namespace pelmode
