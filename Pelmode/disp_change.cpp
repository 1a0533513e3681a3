#include "disp_change.h"

namespace pelmode {

ApplyResult ApplyResultOfDispChange(long code) {
  switch (code) {
    case kDispChangeSuccessful:
      return {};
    case kDispChangeBadMode:
      return {ApplyError::kModeNotOffered, {}};
    case kDispChangeRestart:
      return {ApplyError::kRestartRequired, {}};
    case kDispChangeFailed:
      return {ApplyError::kDriverFailed, {}};
    default:
      return {ApplyError::kSystemRefused, {}, code};
  }
}

const char* DispChangeName(long code) {
  switch (code) {
    case kDispChangeNotUpdated:
      return "DISP_CHANGE_NOTUPDATED";
    case kDispChangeBadFlags:
      return "DISP_CHANGE_BADFLAGS";
    case kDispChangeBadParam:
      return "DISP_CHANGE_BADPARAM";
    case kDispChangeBadDualView:
      return "DISP_CHANGE_BADDUALVIEW";
    default:
      return nullptr;
  }
}

}  // namespace pelmode
