#include "command_line.h"

#include "display_mode_change.h"
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

  const std::unique_ptr<Display> display = OpenDisplay();
  return ChangeDisplayMode(*display, *width_px, *height_px, out, err)
             ? kExitModeSet
             : kExitChangeFailed;
}

}  // namespace

int RunCommandLine(int argc, const char* const argv[], TextSink& out,
                   TextSink& err) {
  PrepareStandardStreams();
  WriteLine(out, "");
  ExitStatus status = ChangeFromArguments(argc, argv, out, err);
  WriteLine(out, "\nPress any key to exit...");
  // A success that nobody could read about is not reported as one.
  if (status == kExitModeSet && out.failed()) status = kExitChangeFailed;
  WaitForKeyPress();
  return status;
}

}  // namespace pelmode
