// The displays Pelmode drives on Linux, each in its own file; OpenDisplay
// asks them in turn which one this session is.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "backend.h"

namespace pelmode {

namespace wayland {
class Connection;
}

std::unique_ptr<Backend> OpenX11Display();
// Empty unless Mutter's display-configuration bus name has an owner, and,
// where `compositor` is not 0, unless that owner is that process; unusable
// when the bus does not answer. `memory_name` names its layout memory;
// `bus_problem` says why a bus that is named cannot be reached.
std::unique_ptr<Backend> OpenMutterDisplay(pid_t compositor, const std::string& memory_name,
                                           std::string* bus_problem);
// Empty, and the connection left as it was, where the compositor does not
// offer the protocol; else the display takes the connection.
std::unique_ptr<Backend> OpenWlrDisplay(std::unique_ptr<wayland::Connection>& connection);
std::unique_ptr<Backend> OpenKdeDisplay(std::unique_ptr<wayland::Connection>& connection);

}  // namespace pelmode
