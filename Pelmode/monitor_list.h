#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "output_model.h"
#include "text_sink.h"

namespace pelmode {

// What --list shows: each monitor that shows something by its name, the
// target marked, its place, then the sizes it offers, largest first, each
// with its rates to two decimals, fastest first, the one in force marked:
//
//   DP-1 at 0,0 (target)
//     1920x1080  60.00*  59.94
//     1280x720   60.00
void WriteMonitorList(const std::vector<Output>& outputs, std::optional<std::size_t> target,
                      TextSink& out);

}  // namespace pelmode
