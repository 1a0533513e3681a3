#include "failure_reason.h"

#include "deadline.h"
#include "disp_change.h"

namespace pelmode {
namespace {

// The reasons that need nothing from the result but its kind.
const char* FixedReason(ApplyError error) {
  switch (error) {
    case ApplyError::kNone:
      return "nothing failed";
    case ApplyError::kDisplayEmpty:
      return "no display is set (DISPLAY is empty)";
    case ApplyError::kNoRandr:
      return "the display server has no RandR 1.3 support";
    case ApplyError::kNoActiveOutput:
      return "the display has no active output to change";
    case ApplyError::kServerRefused:
      return "the display server refused the change";
    case ApplyError::kConnectionLost:
      return "the connection to the display server was lost";
    case ApplyError::kNoDisplay:
      return "no display is set (neither WAYLAND_DISPLAY nor DISPLAY)";
    default:
      return nullptr;
  }
}

// The reasons that name the size asked for at their end.
const char* ReasonBeforeSize(ApplyError error) {
  switch (error) {
    case ApplyError::kModeNotOffered:
      return "the display does not offer ";
    case ApplyError::kRestartRequired:
      return "the computer must be restarted to use ";
    case ApplyError::kDriverFailed:
      return "the display driver could not switch to ";
    default:
      return nullptr;
  }
}

void WriteSystemRefusal(TextSink& sink, long code) {
  sink << "the system refused the change (";
  if (const char* name = DispChangeName(code)) sink << name << ", ";
  sink << "code " << std::int64_t(code) << ")";
}

}  // namespace

void WriteFailureReason(TextSink& sink, const ApplyResult& result,
                        std::uint32_t width_px, std::uint32_t height_px) {
  if (const char* fixed = FixedReason(result.error)) {
    sink << fixed;
  } else if (const char* before = ReasonBeforeSize(result.error)) {
    sink << before << width_px << "x" << height_px;
  } else if (result.error == ApplyError::kSystemRefused) {
    WriteSystemRefusal(sink, result.code);
  } else if (result.error == ApplyError::kCannotOpenDisplay) {
    sink << "cannot open display \"" << result.detail << "\"";
  } else if (result.error == ApplyError::kNoSuchScreen) {
    sink << "the display server of \"" << result.detail << "\" has no such screen";
  } else if (result.error == ApplyError::kConnectionRefused) {
    sink << "the display server of \"" << result.detail
         << "\" refused the connection (is XAUTHORITY right?)";
  } else if (result.error == ApplyError::kWaylandSession) {
    sink << "this is a Wayland session (\"" << result.detail
         << "\"); change the display mode in the compositor's settings";
  } else if (result.error == ApplyError::kWaylandUnreachable) {
    sink << "the Wayland display " << result.detail << ", and DISPLAY is not set";
  } else if (result.error == ApplyError::kLibraryMissing) {
    sink << "the library " << result.detail << " cannot be loaded";
  } else if (result.error == ApplyError::kWaylandSocketRefused) {
    sink << result.detail;
  } else if (result.error == ApplyError::kNoAnswer ||
             result.error == ApplyError::kNoAnswerAfterRequest) {
    sink << result.detail << " did not answer within " << std::uint32_t(kAnswerTimeoutS) << " s";
    if (result.error == ApplyError::kNoAnswerAfterRequest) sink << "; the change may still be made";
  } else if (result.error == ApplyError::kMirrorNotOffered) {
    sink << "the mirrored output " << result.detail << " does not offer " << width_px << "x"
         << height_px;
  } else if (result.error == ApplyError::kLayoutBroken) {
    sink << "the other monitors cannot stay joined to " << width_px << "x" << height_px
         << " without overlapping";
  } else if (result.error == ApplyError::kScreenTooLarge) {
    sink << "the monitors would need a screen of " << result.detail
         << ", larger than the display server allows";
  } else {
    sink << "the compositor refused the change";
    if (!result.detail.empty()) sink << " (" << result.detail << ")";
  }
}

}  // namespace pelmode
