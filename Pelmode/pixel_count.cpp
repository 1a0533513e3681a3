#include "pixel_count.h"

#include <cstddef>

namespace pelmode {
namespace {

constexpr std::uint32_t kMaxPixelCount = 2147483647;

// The C locale's white space, spelled out so no locale can widen it.
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string_view TrimSpace(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view DropPxSuffix(std::string_view text) {
  const std::size_t n = text.size();
  if (n >= 2 && Lower(text[n - 2]) == 'p' && Lower(text[n - 1]) == 'x') {
    text.remove_suffix(2);
  }
  return text;
}

}  // namespace

std::optional<std::uint32_t> ParsePixelCount(std::string_view text) {
  std::string_view digits = DropPxSuffix(TrimSpace(text));
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : digits) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + std::uint64_t(c - '0');
    if (value > kMaxPixelCount) return std::nullopt;
  }
  if (value == 0) return std::nullopt;
  return std::uint32_t(value);
}

}  // namespace pelmode
