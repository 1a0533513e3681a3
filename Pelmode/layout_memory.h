// What Pelmode remembers of its last change on a display: the desk before
// and after it and the monitor it changed, so that the next run can put the
// desk back exactly. The memory comes from outside (any client of an X
// server can write it), so it is data to check, never to trust.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmode {

// One monitor that shows something, as the display reported it.
struct RememberedOutput {
  std::string name;
  std::int32_t x = 0;
  std::int32_t y = 0;
  double scale = 1.0;  // exactly as read: compositors take only their own values
  bool quarter_turn = false;
  bool primary = false;
  std::uint32_t panning_width_px = 0;
  std::uint32_t panning_height_px = 0;
  std::uint32_t width_px = 0;  // the mode, as scanned, before any turn
  std::uint32_t height_px = 0;
  std::uint32_t refresh_mhz = 0;

  bool operator==(const RememberedOutput& other) const = default;
};

using RememberedDesk = std::vector<RememberedOutput>;

struct LayoutMemory {
  std::string target;  // the monitor the change was made on
  RememberedDesk before;
  RememberedDesk after;
};

std::string FormatMemory(const LayoutMemory& memory);

// Empty unless `text` is a whole memory in the format FormatMemory writes,
// every field within its bounds.
std::optional<LayoutMemory> ParseMemory(std::string_view text);

}  // namespace pelmode
