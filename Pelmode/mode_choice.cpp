#include "mode_choice.h"

#include <algorithm>
#include <tuple>

namespace pelmode {

std::uint32_t RefreshMillihertz(const ModeTiming& timing) {
  // Interlaced modes draw half the lines per field and double-scan modes draw
  // every line twice; both are folded in as integer factors to stay exact.
  const std::uint64_t fields = timing.interlaced ? 2 : 1;
  const std::uint64_t scans = timing.double_scan ? 2 : 1;
  const std::uint64_t numerator = std::uint64_t(timing.dot_clock_hz) * fields * 1000;
  const std::uint64_t denominator = std::uint64_t(timing.htotal) * timing.vtotal * scans;
  if (numerator == 0 || denominator == 0) return 0;
  const std::uint64_t rate_mhz = (numerator + denominator / 2) / denominator;
  return std::uint32_t(std::min<std::uint64_t>(rate_mhz, UINT32_MAX));
}

std::uint32_t HzOfMillihertz(std::uint32_t refresh_mhz) {
  return std::uint32_t((std::uint64_t(refresh_mhz) + 500) / 1000);
}

std::string HertzText(std::uint32_t refresh_mhz) {
  const std::uint64_t hundredths = (std::uint64_t(refresh_mhz) + 5) / 10;
  return std::to_string(hundredths / 100) + "." + char('0' + hundredths / 10 % 10) +
         char('0' + hundredths % 10);
}

bool SameRate(std::uint32_t a_mhz, std::uint32_t b_mhz) {
  return (a_mhz > b_mhz ? a_mhz - b_mhz : b_mhz - a_mhz) < 10;
}

namespace {

// How far a rate is from the wanted one: nothing for the same rate, and as
// far as can be where either is unknown (0), so that an unknown wanted rate
// leaves the highest and a mode without a rate comes after any with one.
std::uint32_t RateDistanceMhz(std::uint32_t refresh_mhz, std::uint32_t wanted_mhz) {
  if (SameRate(refresh_mhz, wanted_mhz)) return 0;
  if (refresh_mhz == 0 || wanted_mhz == 0) return UINT32_MAX;
  return refresh_mhz > wanted_mhz ? refresh_mhz - wanted_mhz : wanted_mhz - refresh_mhz;
}

}  // namespace

std::optional<std::size_t> ChooseMode(const std::vector<ModeCandidate>& modes,
                                      std::uint32_t width_px, std::uint32_t height_px,
                                      std::uint32_t wanted_mhz) {
  // Lower is better: progressive first, then the rate nearest the wanted
  // one, then the higher of two as near.
  const auto rank = [&](const ModeCandidate& mode) {
    return std::make_tuple(!mode.progressive, RateDistanceMhz(mode.refresh_mhz, wanted_mhz),
                           UINT32_MAX - mode.refresh_mhz);
  };
  std::optional<std::size_t> best;
  for (std::size_t i = 0; i < modes.size(); ++i) {
    if (modes[i].width_px != width_px || modes[i].height_px != height_px) continue;
    if (!best || rank(modes[i]) < rank(modes[*best])) best = i;
  }
  return best;
}

double ChooseScale(const std::vector<double>& allowed, double current) {
  double best = current;
  for (std::size_t i = 0; i < allowed.size(); ++i) {
    const double distance = allowed[i] > current ? allowed[i] - current : current - allowed[i];
    const double best_distance = best > current ? best - current : current - best;
    if (i == 0 || distance < best_distance || (distance == best_distance && allowed[i] < best)) {
      best = allowed[i];
    }
  }
  return best;
}

}  // namespace pelmode
