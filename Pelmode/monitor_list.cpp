#include "monitor_list.h"

#include <algorithm>
#include <string>

#include "mode_choice.h"

namespace pelmode {
namespace {

// One mode as the list shows it, turned with its output.
struct Shown {
  std::uint32_t width_px, height_px, refresh_mhz;
  bool progressive, current;
};

bool LargerFirst(const Shown& a, const Shown& b) {
  const auto area = [](const Shown& m) { return std::uint64_t(m.width_px) * m.height_px; };
  if (area(a) != area(b)) return area(a) > area(b);
  if (a.width_px != b.width_px) return a.width_px > b.width_px;
  if (a.height_px != b.height_px) return a.height_px > b.height_px;
  return a.refresh_mhz > b.refresh_mhz;
}

std::vector<Shown> ShownModes(const Output& output) {
  std::vector<Shown> modes;
  for (std::size_t i = 0; i < output.modes.size(); ++i) {
    const OutputMode& mode = output.modes[i];
    const bool turned = output.quarter_turn;
    modes.push_back({turned ? mode.height_px : mode.width_px, turned ? mode.width_px : mode.height_px,
                     mode.refresh_mhz, mode.progressive, output.current_mode == i});
  }
  std::stable_sort(modes.begin(), modes.end(), LargerFirst);
  return modes;
}

// "59.94", hundredths rounded; nothing where the display gives no rate.
std::string RateText(const Shown& mode) {
  std::string text = mode.refresh_mhz != 0 ? HertzText(mode.refresh_mhz) : "";
  if (!mode.progressive) text += "i";
  return text + (mode.current ? "*" : "");
}

void WriteModes(const Output& output, TextSink& out) {
  const std::vector<Shown> modes = ShownModes(output);
  for (std::size_t i = 0; i < modes.size(); ++i) {
    const bool same_size = i > 0 && modes[i].width_px == modes[i - 1].width_px &&
                           modes[i].height_px == modes[i - 1].height_px;
    if (same_size) {
      out << "  " << RateText(modes[i]);
      continue;
    }
    if (i > 0) WriteLine(out, "");
    std::string size = SizeText({modes[i].width_px, modes[i].height_px});
    size.resize(std::max<std::size_t>(size.size(), 11), ' ');
    out << "  " << size << RateText(modes[i]);
  }
  if (!modes.empty()) WriteLine(out, "");
}

}  // namespace

void WriteMonitorList(const std::vector<Output>& outputs, std::optional<std::size_t> target,
                      TextSink& out) {
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const Output& output = outputs[i];
    if (!Shows(output)) continue;
    out << output.name << " at " << std::int64_t(output.x) << "," << std::int64_t(output.y);
    WriteLine(out, target == i ? " (target)" : "");
    WriteModes(output, out);
  }
}

}  // namespace pelmode
