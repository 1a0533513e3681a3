#include "failure_reason.h"

namespace pelmode {

std::string FailureReason(const ApplyResult& result, std::uint32_t width_px,
                          std::uint32_t height_px) {
  const std::string size =
      std::to_string(width_px) + "x" + std::to_string(height_px);
  switch (result.error) {
    case ApplyError::kNone:
      return "nothing failed";
    case ApplyError::kModeNotOffered:
      return "the display does not offer " + size;
    case ApplyError::kRestartRequired:
      return "the computer must be restarted to use " + size;
    case ApplyError::kDriverFailed:
      return "the display driver could not switch to " + size;
    case ApplyError::kSystemRefused:
      return "the system refused the change (" + result.detail + ")";
    case ApplyError::kDisplayUnset:
      return "no display is set (DISPLAY is not set)";
    case ApplyError::kDisplayEmpty:
      return "no display is set (DISPLAY is empty)";
    case ApplyError::kCannotOpenDisplay:
      return "cannot open display \"" + result.detail + "\"";
    case ApplyError::kNoRandr:
      return "the display server has no RandR 1.3 support";
    case ApplyError::kNoActiveOutput:
      return "the display has no active output to change";
    case ApplyError::kMirrorNotOffered:
      return "the mirrored output " + result.detail + " does not offer " + size;
    case ApplyError::kLayoutBroken:
      return "the other monitors cannot stay joined to " + size +
             " without overlapping";
    case ApplyError::kScreenTooLarge:
      return "the monitors would need a screen of " + result.detail +
             ", larger than the display server allows";
    case ApplyError::kServerRefused:
      return "the display server refused the change";
    case ApplyError::kCompositorRefused:
      return "the compositor refused the change" +
             (result.detail.empty() ? "" : " (" + result.detail + ")");
    case ApplyError::kConnectionLost:
      return "the connection to the display server was lost";
    case ApplyError::kWaylandSession:
      return "this is a Wayland session; change the display mode in the "
             "compositor's settings";
  }
  return "unknown failure";
}

}  // namespace pelmode
