#pragma once

#include <cstdint>

#include "backend.h"
#include "text_sink.h"

namespace pelmode {

// The whole change on any display: reports the mode in force and the
// target on `out`, plans, carries out (tried again while other clients
// change the outputs), checks the result against the plan, keeps the
// memory, and reports the outcome: success on `out`, failure on `err`.
// `notice`, where not empty, goes to `err` first. True when the mode was
// set.
bool ChangeDisplayMode(Backend& backend, const std::string& notice, std::uint32_t width_px,
                       std::uint32_t height_px, TextSink& out, TextSink& err);

}  // namespace pelmode
