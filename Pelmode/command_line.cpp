#include "command_line.h"

#include "display_mode_change.h"
#include "pixel_count.h"
#include "platform.h"

namespace pelmode {
namespace {

ExitStatus RefuseArguments(std::ostream& out) {
  out << "Invalid arguments, have nothing to do...\nUseage: [Width] [Height]"
      << std::endl;
  return kExitInvalidArguments;
}

ExitStatus ChangeFromArguments(int argc, const char* const argv[],
                               std::ostream& out, std::ostream& err) {
  if (argc != 3) return RefuseArguments(out);
  const auto width_px = ParsePixelCount(argv[1]);
  const auto height_px = ParsePixelCount(argv[2]);
  if (!width_px) err << "Invalid width: " << argv[1] << std::endl;
  if (!height_px) err << "Invalid height: " << argv[2] << std::endl;
  if (!width_px || !height_px) return RefuseArguments(out);

  const std::unique_ptr<Display> display = OpenDisplay();
  return ChangeDisplayMode(*display, *width_px, *height_px, out, err)
             ? kExitModeSet
             : kExitChangeFailed;
}

}  // namespace

int RunCommandLine(int argc, const char* const argv[], std::ostream& out,
                   std::ostream& err) {
  PrepareStandardStreams();
  out << std::endl;
  ExitStatus status = ChangeFromArguments(argc, argv, out, err);
  out << "\nPress any key to exit..." << std::endl;
  // A success that nobody could read about is not reported as one.
  if (status == kExitModeSet && !out) status = kExitChangeFailed;
  WaitForKeyPress();
  return status;
}

}  // namespace pelmode
