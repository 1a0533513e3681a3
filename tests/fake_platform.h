// A scripted stand-in for the platform layer, so the command line and the
// change logic run without a display or a keyboard.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform.h"

namespace pelmode::testing {

struct FakePlatform {
  std::optional<DisplayMode> current_mode;
  ApplyResult apply_result;

  int displays_opened = 0;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> applied;
  // What `watched_out` held when the key wait began.
  const std::ostringstream* watched_out = nullptr;
  std::string out_at_key_wait;
};

// The fake's state; tests reset it by assigning a fresh FakePlatform.
FakePlatform& Fake();

}  // namespace pelmode::testing
