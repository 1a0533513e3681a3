#pragma once

#include <cstdint>
#include <string>

#include "platform.h"

namespace pelmode {

// The words after "Setting failed: " for a refused or failed change.
std::string FailureReason(const ApplyResult& result, std::uint32_t width_px,
                          std::uint32_t height_px);

}  // namespace pelmode
