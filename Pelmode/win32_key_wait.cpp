#include <cstdlib>

#include "platform.h"

namespace pelmode {

// The command interpreter's own wait: one key, its prompt sent nowhere.
void WaitForKeyPress() { std::system("pause>nul"); }

}  // namespace pelmode
