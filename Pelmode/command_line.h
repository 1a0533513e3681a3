#pragma once

#include "text_sink.h"

namespace pelmode {

enum ExitStatus : int {
  kExitModeSet = 0,
  kExitChangeFailed = 1,
  kExitInvalidArguments = 2,
  kExitPutBack = 3,
};

// The whole run behind main: arguments, the change, the prompt and the wait.
int RunCommandLine(int argc, const char* const argv[], TextSink& out,
                   TextSink& err);

}  // namespace pelmode
