#pragma once

#include <cstdint>

#include "platform.h"
#include "text_sink.h"

namespace pelmode {

// Reports the mode in force and the target on `out`, asks `display` for the
// target, and reports the outcome: success on `out`, failure on `err`.
// True when the mode was set.
bool ChangeDisplayMode(Display& display, std::uint32_t width_px,
                       std::uint32_t height_px, TextSink& out,
                       TextSink& err);

}  // namespace pelmode
