#include <cstdio>

#include "command_line.h"
#include "text_sink.h"

int main(int argc, char* argv[]) {
  // Every line is flushed as it is written; buffers of its own spare stdio
  // asking what the streams are before the first line.
  static char out_buffer[1024], err_buffer[1024];
  std::setvbuf(stdout, out_buffer, _IOFBF, sizeof out_buffer);
  std::setvbuf(stderr, err_buffer, _IOFBF, sizeof err_buffer);
  pelmode::StdioSink out(stdout);
  pelmode::StdioSink err(stderr);
  return pelmode::RunCommandLine(argc, argv, out, err);
}
