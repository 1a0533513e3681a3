// A sink that keeps what is written, for the tests.
#pragma once

#include <string>

#include "text_sink.h"

namespace pelmode {

class StringSink final : public TextSink {
 public:
  void Write(std::string_view text) override { text_ += text; }
  void Flush() override {}
  bool failed() const override { return false; }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace pelmode
