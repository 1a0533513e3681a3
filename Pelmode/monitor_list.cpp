#include "monitor_list.h"

#include <algorithm>
#include <string>

#include "mode_choice.h"

namespace pelmode {
namespace {

// One mode as the list shows it, turned with its output.
struct Listed {
  ModeCandidate mode;
  bool current;
};

bool LargerFirst(const Listed& a, const Listed& b) {
  const auto area = [](const Listed& m) {
    return std::uint64_t(m.mode.width_px) * m.mode.height_px;
  };
  if (area(a) != area(b)) return area(a) > area(b);
  if (a.mode.width_px != b.mode.width_px) return a.mode.width_px > b.mode.width_px;
  if (a.mode.height_px != b.mode.height_px) return a.mode.height_px > b.mode.height_px;
  return a.mode.refresh_mhz > b.mode.refresh_mhz;
}

std::vector<Listed> ListedModes(const Output& output) {
  std::vector<Listed> modes;
  for (std::size_t i = 0; i < output.modes.size(); ++i) {
    modes.push_back({AsShown(output.quarter_turn, output.modes[i]), output.current_mode == i});
  }
  std::stable_sort(modes.begin(), modes.end(), LargerFirst);
  return modes;
}

// "59.94", hundredths rounded; nothing where the display gives no rate.
std::string RateText(const Listed& listed) {
  std::string text = listed.mode.refresh_mhz != 0 ? HertzText(listed.mode.refresh_mhz) : "";
  if (!listed.mode.progressive) text += "i";
  return text + (listed.current ? "*" : "");
}

void WriteModes(const Output& output, TextSink& out) {
  const std::vector<Listed> modes = ListedModes(output);
  for (std::size_t i = 0; i < modes.size(); ++i) {
    const ModeCandidate& mode = modes[i].mode;
    const bool same_size = i > 0 && mode.width_px == modes[i - 1].mode.width_px &&
                           mode.height_px == modes[i - 1].mode.height_px;
    if (same_size) {
      out << "  " << RateText(modes[i]);
      continue;
    }
    if (i > 0) WriteLine(out, "");
    std::string size = SizeText({mode.width_px, mode.height_px});
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
