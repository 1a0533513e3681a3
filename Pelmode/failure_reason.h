#pragma once

#include <cstdint>

#include "platform.h"
#include "text_sink.h"

namespace pelmode {

// Writes the words after "Setting failed: " for a refused or failed change.
void WriteFailureReason(TextSink& sink, const ApplyResult& result,
                        std::uint32_t width_px, std::uint32_t height_px);

}  // namespace pelmode
