#include "layout_memory.h"

#include <bit>
#include <charconv>

namespace pelmode {
namespace {

constexpr std::string_view kHeader = "pelmode-layout 1";
constexpr std::size_t kMaxOutputs = 64;
constexpr std::size_t kMaxNameLength = 255;
constexpr double kMaxScale = 64;

// Reads the fields of one line, each ended by one space.
class Fields {
 public:
  explicit Fields(std::string_view line) : rest_(line) {}

  template <typename T>
  bool Next(T* value, int base = 10) {
    const std::size_t end = rest_.find(' ');
    if (end == std::string_view::npos || end == 0) return false;
    const auto [ptr, ec] = std::from_chars(rest_.data(), rest_.data() + end, *value, base);
    if (ec != std::errc() || ptr != rest_.data() + end) return false;
    rest_.remove_prefix(end + 1);
    return true;
  }
  // A double kept exactly, as the hexadecimal of its bits: the reading and
  // writing of decimal doubles would bring libm into every run.
  bool NextDouble(double* value) {
    std::uint64_t bits = 0;
    if (!Next(&bits, 16)) return false;
    *value = std::bit_cast<double>(bits);
    return true;
  }
  bool NextFlag(bool* flag) {
    unsigned value = 0;
    if (!Next(&value) || value > 1) return false;
    *flag = value == 1;
    return true;
  }
  std::string_view rest() const { return rest_; }

 private:
  std::string_view rest_;
};

// A name as displays give them: printable, no spaces at either end.
bool IsName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameLength || name.front() == ' ' || name.back() == ' ') {
    return false;
  }
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  }
  return true;
}

std::optional<RememberedOutput> ParseOutput(std::string_view line) {
  RememberedOutput output;
  Fields fields(line);
  const bool read = fields.Next(&output.x) && fields.Next(&output.y) &&
                    fields.NextDouble(&output.scale) && fields.NextFlag(&output.quarter_turn) &&
                    fields.NextFlag(&output.primary) && fields.Next(&output.panning_width_px) &&
                    fields.Next(&output.panning_height_px) && fields.Next(&output.width_px) &&
                    fields.Next(&output.height_px) && fields.Next(&output.refresh_mhz);
  // Not a number fails both comparisons.
  const bool scale_ok = output.scale > 0 && output.scale <= kMaxScale;
  if (!read || !scale_ok || output.width_px == 0 || output.height_px == 0 ||
      !IsName(fields.rest())) {
    return std::nullopt;
  }
  output.name = std::string(fields.rest());
  return output;
}

void AppendNumber(std::string* text, auto value, int base = 10) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, base);
  text->append(buffer, result.ptr);
  *text += ' ';
}

void AppendDesk(std::string* text, std::string_view half, const RememberedDesk& desk) {
  for (const RememberedOutput& o : desk) {
    *text += half;
    *text += ' ';
    AppendNumber(text, o.x), AppendNumber(text, o.y);
    AppendNumber(text, std::bit_cast<std::uint64_t>(o.scale), 16);
    AppendNumber(text, unsigned(o.quarter_turn)), AppendNumber(text, unsigned(o.primary));
    AppendNumber(text, o.panning_width_px), AppendNumber(text, o.panning_height_px);
    AppendNumber(text, o.width_px), AppendNumber(text, o.height_px);
    AppendNumber(text, o.refresh_mhz);
    *text += o.name + '\n';
  }
}

// Takes the next line, without its end; false when no whole line is left.
bool NextLine(std::string_view* text, std::string_view* line) {
  const std::size_t end = text->find('\n');
  if (end == std::string_view::npos) return false;
  *line = text->substr(0, end);
  text->remove_prefix(end + 1);
  return true;
}

bool Names(const RememberedDesk& desk, const std::string& name) {
  for (const RememberedOutput& output : desk) {
    if (output.name == name) return true;
  }
  return false;
}

// Both halves name the same monitors, each once.
bool SameMonitors(const RememberedDesk& before, const RememberedDesk& after) {
  for (std::size_t i = 0; i < before.size(); ++i) {
    const RememberedDesk earlier(before.begin(), before.begin() + std::ptrdiff_t(i));
    if (Names(earlier, before[i].name) || !Names(after, before[i].name)) return false;
  }
  return before.size() == after.size();
}

}  // namespace

std::string FormatMemory(const LayoutMemory& memory) {
  std::string text(kHeader);
  text += "\ntarget " + memory.target + '\n';
  AppendDesk(&text, "before", memory.before);
  AppendDesk(&text, "after", memory.after);
  return text;
}

std::optional<LayoutMemory> ParseMemory(std::string_view text) {
  std::string_view line;
  if (!NextLine(&text, &line) || line != kHeader) return std::nullopt;
  if (!NextLine(&text, &line) || line.substr(0, 7) != "target " || !IsName(line.substr(7))) {
    return std::nullopt;
  }
  LayoutMemory memory;
  memory.target = std::string(line.substr(7));
  while (NextLine(&text, &line)) {
    const bool before = line.substr(0, 7) == "before ";
    const bool after = line.substr(0, 6) == "after ";
    // Every "before" line comes first.
    if ((!before && !after) || (before && !memory.after.empty())) return std::nullopt;
    const auto output = ParseOutput(line.substr(before ? 7 : 6));
    RememberedDesk& desk = before ? memory.before : memory.after;
    if (!output || desk.size() == kMaxOutputs) return std::nullopt;
    desk.push_back(*output);
  }
  if (!text.empty() || memory.before.empty() || !SameMonitors(memory.before, memory.after) ||
      !Names(memory.before, memory.target)) {
    return std::nullopt;
  }
  return memory;
}

}  // namespace pelmode
