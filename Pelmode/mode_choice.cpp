#include "mode_choice.h"

#include <algorithm>
#include <tuple>

namespace pelmode {

std::uint32_t RefreshRateHz(const ModeTiming& timing) {
  // Interlaced modes draw half the lines per field and double-scan modes draw
  // every line twice; both are folded in as integer factors to stay exact.
  const std::uint64_t fields = timing.interlaced ? 2 : 1;
  const std::uint64_t scans = timing.double_scan ? 2 : 1;
  const std::uint64_t numerator = std::uint64_t(timing.dot_clock_hz) * fields;
  const std::uint64_t denominator =
      std::uint64_t(timing.htotal) * timing.vtotal * scans;
  if (numerator == 0 || denominator == 0) return 0;
  const std::uint64_t rate_hz = (numerator + denominator / 2) / denominator;
  return std::uint32_t(std::min<std::uint64_t>(rate_hz, UINT32_MAX));
}

namespace {

// Lower is better: progressive first, then the current rate, then the
// highest rate.
using Rank = std::tuple<bool, bool, std::uint64_t>;

Rank RankOf(const ModeCandidate& mode, std::uint32_t current_refresh_hz) {
  return {!mode.progressive, mode.refresh_hz != current_refresh_hz,
          std::uint64_t(UINT32_MAX) - mode.refresh_hz};
}

}  // namespace

std::optional<std::size_t> ChooseMode(
    const std::vector<ModeCandidate>& modes, std::uint32_t width_px,
    std::uint32_t height_px, std::uint32_t current_refresh_hz) {
  std::optional<std::size_t> best;
  for (std::size_t i = 0; i < modes.size(); ++i) {
    if (modes[i].width_px != width_px || modes[i].height_px != height_px) {
      continue;
    }
    if (!best || RankOf(modes[i], current_refresh_hz) <
                     RankOf(modes[*best], current_refresh_hz)) {
      best = i;
    }
  }
  return best;
}

}  // namespace pelmode
