#include "text_sink.h"

namespace pelmode {

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
