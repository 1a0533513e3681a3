#include "failure_reason.h"

#include "deadline.h"
#include "disp_change.h"

namespace pelmode {
namespace {

void WriteSize(TextSink& sink, std::uint32_t width_px, std::uint32_t height_px) {
  sink << width_px << "x" << height_px;
}

void WriteSystemRefusal(TextSink& sink, long code) {
  sink << "the system refused the change (";
  if (const char* name = DispChangeName(code)) sink << name << ", ";
  sink << "code " << std::int64_t(code) << ")";
}

void WriteNoAnswer(TextSink& sink, const ApplyResult& result) {
  sink << result.detail << " did not answer within " << std::uint32_t(kAnswerTimeoutS) << " s";
  if (result.error == ApplyError::kNoAnswerAfterRequest) sink << "; the change may still be made";
}

}  // namespace

// No default: a new kind of failure must be worded here before it builds.
void WriteFailureReason(TextSink& sink, const ApplyResult& result, std::uint32_t width_px,
                        std::uint32_t height_px) {
  const std::string& detail = result.detail;
  switch (result.error) {
    case ApplyError::kNone:
      sink << "nothing failed";
      return;
    case ApplyError::kModeNotOffered:
      sink << "the display does not offer ", WriteSize(sink, width_px, height_px);
      if (!result.alternatives.empty()) {
        sink << " (nearest: " << result.alternatives << "; see --list)";
      }
      return;
    case ApplyError::kRestartRequired:
      sink << "the computer must be restarted to use ", WriteSize(sink, width_px, height_px);
      return;
    case ApplyError::kDriverFailed:
      sink << "the display driver could not switch to ", WriteSize(sink, width_px, height_px);
      return;
    case ApplyError::kSystemRefused:
      WriteSystemRefusal(sink, result.code);
      return;
    case ApplyError::kDisplayEmpty:
      sink << "no display is set (DISPLAY is empty)";
      return;
    case ApplyError::kCannotOpenDisplay:
      sink << "cannot open display \"" << detail << "\"";
      return;
    case ApplyError::kNoRandr:
      sink << "the display server has no RandR 1.3 support";
      return;
    case ApplyError::kNoActiveOutput:
      sink << "the display has no active output to change";
      return;
    case ApplyError::kMirrorNotOffered:
      sink << "the mirrored output " << detail << " does not offer ";
      WriteSize(sink, width_px, height_px);
      return;
    case ApplyError::kLayoutBroken:
      sink << "the other monitors cannot stay joined to ";
      WriteSize(sink, width_px, height_px);
      sink << " without overlapping";
      return;
    case ApplyError::kScreenTooLarge:
      sink << "the monitors would need a screen of " << detail
           << ", larger than the display server allows";
      return;
    case ApplyError::kServerRefused:
      sink << "the display server refused the change";
      return;
    case ApplyError::kCompositorRefused:
      sink << "the compositor refused the change";
      if (!detail.empty()) sink << " (" << detail << ")";
      return;
    case ApplyError::kConnectionLost:
    case ApplyError::kConnectionLostAfterRequest:
      sink << "the connection to the display server was lost";
      if (result.error == ApplyError::kConnectionLostAfterRequest) {
        sink << "; the change may still be made";
      }
      return;
    case ApplyError::kBusUnreachable:
      sink << "the compositor \"" << detail
           << "\" offers no output management, and the session bus, where GNOME's Mutter would "
              "answer, cannot be reached ("
           << result.alternatives << ")";
      return;
    case ApplyError::kWaylandSession:
      sink << "this is a Wayland session (\"" << detail
           << "\"); change the display mode in the compositor's settings";
      return;
    case ApplyError::kNoDisplay:
      sink << "no display is set (neither WAYLAND_DISPLAY nor DISPLAY)";
      return;
    case ApplyError::kWaylandUnreachable:
      sink << "the Wayland display " << detail << ", and DISPLAY is not set";
      return;
    case ApplyError::kWaylandSocketRefused:
      sink << detail;
      return;
    case ApplyError::kNoSuchScreen:
      sink << "the display server of \"" << detail << "\" has no such screen";
      return;
    case ApplyError::kConnectionRefused:
      sink << "the display server of \"" << detail
           << "\" refused the connection (is XAUTHORITY right?)";
      return;
    case ApplyError::kNoAnswer:
    case ApplyError::kNoAnswerAfterRequest:
      WriteNoAnswer(sink, result);
      return;
    case ApplyError::kLibraryMissing:
      sink << "the library " << detail << " cannot be loaded";
      return;
    case ApplyError::kUnreadableAnswer:
      sink << detail << " gave an answer Pelmode cannot read";
      return;
    case ApplyError::kOutputsChanged:
    case ApplyError::kOutputsKeptChanging:
      sink << "the monitors kept changing";
      return;
    case ApplyError::kNotAsPlanned:
      sink << "the change was reported made, but " << detail;
      return;
    case ApplyError::kUnknownOutput:
      sink << "there is no monitor named \"" << detail << "\" (there are " << result.alternatives
           << ")";
      return;
    case ApplyError::kNoWayBack:
      sink << "there is no change of Pelmode's to go back from";
      return;
    case ApplyError::kDeskChangedSince:
      sink << "the monitors were changed after Pelmode's last change, so it cannot be undone exactly";
      return;
  }
}

}  // namespace pelmode
