#include "text_sink.h"

#include <charconv>

namespace pelmode {
namespace {

// Decimal digits without a locale, as std::to_chars writes them.
template <typename Number>
void WriteNumber(TextSink& sink, Number number) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  sink.Write(std::string_view(digits, std::size_t(end - digits)));
}

}  // namespace

TextSink& TextSink::operator<<(std::uint32_t number) {
  WriteNumber(*this, number);
  return *this;
}

TextSink& TextSink::operator<<(std::int64_t number) {
  WriteNumber(*this, number);
  return *this;
}

void WriteLine(TextSink& sink, std::string_view text) {
  sink.Write(text);
  sink.Write("\n");
  sink.Flush();
}

void StdioSink::Write(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), file_);
}

void StdioSink::Flush() { std::fflush(file_); }

}  // namespace pelmode
