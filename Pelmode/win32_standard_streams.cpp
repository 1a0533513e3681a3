#include "platform.h"

namespace pelmode {

// Windows gives a closed stream no number to reuse and has no SIGPIPE.
void PrepareStandardStreams() {}

}  // namespace pelmode
