#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelmode {

struct ModeTiming {
  std::uint32_t dot_clock_hz = 0;
  std::uint32_t htotal = 0;
  std::uint32_t vtotal = 0;
  bool interlaced = false;
  bool double_scan = false;
};

// Frames per thousand seconds, rounded to the nearest; 0 when the timing
// has no clock or no totals (virtual servers report such modes).
std::uint32_t RefreshMillihertz(const ModeTiming& timing);

// The whole number nearest to a value that is never negative; done here
// rather than with lround, which alone would bring libm into every run.
inline std::uint32_t Rounded(double value) { return std::uint32_t(value + 0.5); }

// Hertz rounded to the nearest whole one, as the first output line shows.
std::uint32_t HzOfMillihertz(std::uint32_t refresh_mhz);

// Hertz to two decimals, the hundredths rounded: "59.94".
std::string HertzText(std::uint32_t refresh_mhz);

// Two rates closer than a hundredth of a hertz are the same rate.
bool SameRate(std::uint32_t a_mhz, std::uint32_t b_mhz);

struct ModeCandidate {
  std::uint32_t width_px = 0;  // as shown on screen, after rotation
  std::uint32_t height_px = 0;
  std::uint32_t refresh_mhz = 0;
  bool progressive = true;
};

// Index of the mode to set for the requested size: progressive before
// interlaced or double-scan, then the wanted rate, else the nearest to it,
// the higher of two as near; the list's order breaks ties. Empty when no
// mode has that size.
std::optional<std::size_t> ChooseMode(const std::vector<ModeCandidate>& modes,
                                      std::uint32_t width_px, std::uint32_t height_px,
                                      std::uint32_t wanted_mhz);

// The scale to keep with a mode that allows `allowed` (empty: any): the
// current one where allowed, else the closest allowed, the smaller of two
// as close.
double ChooseScale(const std::vector<double>& allowed, double current);

}  // namespace pelmode
