#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace pelmode {

// Reads a width or height as a person types it: decimal digits with an
// optional "+" before and an optional "px" after, white space around.
// Empty unless the value is 1 to 2147483647.
std::optional<std::uint32_t> ParsePixelCount(std::string_view text);

}  // namespace pelmode
