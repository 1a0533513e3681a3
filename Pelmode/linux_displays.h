// The displays Pelmode drives on Linux, each in its own file; OpenDisplay
// chooses among them.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "platform.h"
#include "wl_connection.h"

namespace pelmode {

// A display that cannot be used, saying why when asked to change.
std::unique_ptr<Display> UnusableDisplay(ApplyResult why);
// `notice`, where not empty, says why X11 is used.
std::unique_ptr<Display> OpenX11Display(std::string notice);
// Empty unless Mutter's display-configuration bus name has an owner, and,
// where `compositor` is not 0, unless that owner is that process; unusable
// when the bus does not answer.
std::unique_ptr<Display> OpenMutterDisplay(pid_t compositor);
std::unique_ptr<Display> OpenWlrDisplay(std::unique_ptr<wayland::Connection> connection,
                                        const wayland::Global& manager);
std::unique_ptr<Display> OpenKdeDisplay(std::unique_ptr<wayland::Connection> connection,
                                        const wayland::Global& management);

}  // namespace pelmode
