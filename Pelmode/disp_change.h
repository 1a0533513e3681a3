#pragma once

#include "platform.h"

namespace pelmode {

// The results of ChangeDisplaySettings, with the values the Windows headers
// give them (the Windows build checks that they agree).
enum DispChange : long {
  kDispChangeSuccessful = 0,
  kDispChangeRestart = 1,
  kDispChangeFailed = -1,
  kDispChangeBadMode = -2,
  kDispChangeNotUpdated = -3,
  kDispChangeBadFlags = -4,
  kDispChangeBadParam = -5,
  kDispChangeBadDualView = -6,
};

ApplyResult ApplyResultOfDispChange(long code);

// The result's name in the Windows headers, for those that only a refusal
// explains; null for the others.
const char* DispChangeName(long code);

}  // namespace pelmode
