#include <cstdio>

#include "command_line.h"
#include "text_sink.h"

int main(int argc, char* argv[]) {
  pelmode::StdioSink out(stdout);
  pelmode::StdioSink err(stderr);
  return pelmode::RunCommandLine(argc, argv, out, err);
}
