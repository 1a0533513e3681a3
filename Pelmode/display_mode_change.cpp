#include "display_mode_change.h"

#include "failure_reason.h"

namespace pelmode {
namespace {

void PrintCurrentMode(const std::optional<DisplayMode>& mode, TextSink& out) {
  out << "Current: ";
  if (mode) {
    out << mode->width_px << "x" << mode->height_px << "    " << mode->refresh_hz << "Hz";
  } else {
    out << "unknown";
  }
  WriteLine(out, "\n");
}

}  // namespace

bool ChangeDisplayMode(Display& display, std::uint32_t width_px,
                       std::uint32_t height_px, TextSink& out, TextSink& err) {
  if (const std::string notice = display.Notice(); !notice.empty()) WriteLine(err, notice);
  PrintCurrentMode(display.QueryCurrentMode(), out);
  // Flushed before the apply: the screen may go dark while it runs.
  WriteLine(out << "Target: " << width_px << "x" << height_px, "");
  const ApplyResult result = display.ApplyMode(width_px, height_px);
  if (result.ok()) {
    WriteLine(out, "\nSetting done.");
    return true;
  }
  WriteFailureReason(err << "\nSetting failed: ", result, width_px, height_px);
  WriteLine(err, ".");
  return false;
}

}  // namespace pelmode
