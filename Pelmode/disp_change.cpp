#include "disp_change.h"

#include <string>

namespace pelmode {
namespace {

std::string RefusalDetail(long code) {
  const std::string number = "code " + std::to_string(code);
  switch (code) {
    case kDispChangeNotUpdated:
      return "DISP_CHANGE_NOTUPDATED, " + number;
    case kDispChangeBadFlags:
      return "DISP_CHANGE_BADFLAGS, " + number;
    case kDispChangeBadParam:
      return "DISP_CHANGE_BADPARAM, " + number;
    case kDispChangeBadDualView:
      return "DISP_CHANGE_BADDUALVIEW, " + number;
    default:
      return number;
  }
}

}  // namespace

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
      return {ApplyError::kSystemRefused, RefusalDetail(code)};
  }
}

}  // namespace pelmode
