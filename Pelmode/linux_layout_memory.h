// Where a Wayland or GNOME display keeps the layout of Pelmode's last
// change: a file of the login's own runtime folder, gone at logout.
#pragma once

#include <string>

namespace pelmode {

// The memory kept for the display named `display`; empty when there is none
// or no runtime folder is named.
std::string ReadLayoutMemory(const std::string& display);

// Best effort: a display without a memory only loses the exact way back.
void WriteLayoutMemory(const std::string& display, const std::string& memory);

}  // namespace pelmode
