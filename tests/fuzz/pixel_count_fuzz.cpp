// libFuzzer target for the argument reader: every accepted text must be what
// a plain reading of the rule accepts, with the same value, in range.
#include <cstdint>
#include <cstdlib>
#include <regex>
#include <string>

#include "pixel_count.h"

namespace {

std::optional<std::uint32_t> ReadByRule(const std::string& text) {
  static const std::regex rule(
      "[ \\t\\n\\v\\f\\r]*\\+?0*([0-9]{1,11})([pP][xX])?[ \\t\\n\\v\\f\\r]*");
  std::smatch match;
  if (!std::regex_match(text, match, rule)) return std::nullopt;
  const unsigned long long value = std::stoull(match[1].str());
  if (value < 1 || value > 2147483647ull) return std::nullopt;
  return std::uint32_t(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<std::uint32_t> value = pelmode::ParsePixelCount(text);
  if (value && (*value < 1 || *value > 2147483647u)) std::abort();
  if (value != ReadByRule(text)) std::abort();
  return 0;
}
