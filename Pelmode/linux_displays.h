// The displays Pelmode drives on Linux, each in its own file; OpenDisplay
// chooses among them.
#pragma once

#include <memory>

#include "platform.h"
#include "wl_connection.h"

namespace pelmode {

std::unique_ptr<Display> OpenX11Display();
// Empty when nobody owns Mutter's display-configuration bus name.
std::unique_ptr<Display> OpenMutterDisplay();
std::unique_ptr<Display> OpenWlrDisplay(std::unique_ptr<wayland::Connection> connection,
                                        const wayland::Global& manager);
std::unique_ptr<Display> OpenKdeDisplay(std::unique_ptr<wayland::Connection> connection,
                                        const wayland::Global& management);

}  // namespace pelmode
