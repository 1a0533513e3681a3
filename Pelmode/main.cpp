#include <cstdio>

#include "command_line.h"
#include "text_sink.h"

#ifdef _WIN32
#include <string>
#include <vector>

#include "win32_unicode.h"
#endif

int main(int argc, char* argv[]) {
  // Every line is flushed as it is written; buffers of its own spare stdio
  // asking what the streams are before the first line.
  static char out_buffer[1024], err_buffer[1024];
  std::setvbuf(stdout, out_buffer, _IOFBF, sizeof out_buffer);
  std::setvbuf(stderr, err_buffer, _IOFBF, sizeof err_buffer);
  pelmode::StdioSink out(stdout);
  pelmode::StdioSink err(stderr);
#ifdef _WIN32
  // The C runtime's argv is the ANSI conversion, which maps look-alike
  // characters to ASCII ones; the sizes are read from what was typed.
  static_cast<void>(argc);
  static_cast<void>(argv);
  std::string problem;
  const std::vector<std::string> arguments = pelmode::Utf8Arguments(&problem);
  if (!problem.empty()) {
    pelmode::WriteLine(err, problem);
    return pelmode::kExitChangeFailed;
  }
  std::vector<const char*> words;
  for (const std::string& argument : arguments) words.push_back(argument.c_str());
  const int count = int(words.size());
  words.push_back(nullptr);  // as C's argv ends
  return pelmode::RunCommandLine(count, words.data(), out, err);
#else
  return pelmode::RunCommandLine(argc, argv, out, err);
#endif
}
