// Where Pelmode's lines go: standard output and standard error through C's
// stdio (which turns "\n" into CRLF on Windows), or a string in the tests.
// iostreams would bring their locale machinery into every run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace pelmode {

class TextSink {
 public:
  virtual ~TextSink() = default;
  virtual void Write(std::string_view text) = 0;
  // Pushes out what is written, so a reader sees it before the next step.
  virtual void Flush() = 0;
  // True once any write or flush has failed.
  virtual bool failed() const = 0;

  TextSink& operator<<(std::string_view text) {
    Write(text);
    return *this;
  }
  TextSink& operator<<(std::uint32_t number);
  TextSink& operator<<(std::int64_t number);
};

// A line: the text, a line end and a flush.
void WriteLine(TextSink& sink, std::string_view text);

class StdioSink final : public TextSink {
 public:
  explicit StdioSink(std::FILE* file) : file_(file) {}
  void Write(std::string_view text) override;
  void Flush() override;
  bool failed() const override { return std::ferror(file_) != 0; }

 private:
  std::FILE* file_;
};

}  // namespace pelmode
