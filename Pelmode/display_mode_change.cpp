#include "display_mode_change.h"

#include "failure_reason.h"

namespace pelmode {
namespace {

void PrintCurrentMode(const std::optional<DisplayMode>& mode,
                      std::ostream& out) {
  out << "Current: ";
  if (mode) {
    out << mode->width_px << "x" << mode->height_px << "    "
        << mode->refresh_hz << "Hz";
  } else {
    out << "unknown";
  }
  out << "\n" << std::endl;
}

}  // namespace

bool ChangeDisplayMode(Display& display, std::uint32_t width_px,
                       std::uint32_t height_px, std::ostream& out,
                       std::ostream& err) {
  PrintCurrentMode(display.QueryCurrentMode(), out);
  // Flushed before the apply: the screen may go dark while it runs.
  out << "Target: " << width_px << "x" << height_px << std::endl;
  const ApplyResult result = display.ApplyMode(width_px, height_px);
  if (result.ok()) {
    out << "\nSetting done." << std::endl;
    return true;
  }
  err << "\nSetting failed: " << FailureReason(result, width_px, height_px)
      << "." << std::endl;
  return false;
}

}  // namespace pelmode
