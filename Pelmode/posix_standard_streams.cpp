#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform.h"

namespace pelmode {

void PrepareStandardStreams() {
  // A closed descriptor 1 would otherwise go to the X connection's socket,
  // and the report would be written into the protocol stream. Read-only
  // /dev/null takes its place: reads see the end, writes fail.
  // One poll finds the closed ones (POLLNVAL) for all three.
  pollfd streams[] = {{STDIN_FILENO, 0, 0}, {STDOUT_FILENO, 0, 0}, {STDERR_FILENO, 0, 0}};
  while (poll(streams, 3, 0) < 0 && errno == EINTR) {
  }
  for (const pollfd& stream : streams) {
    if (stream.revents & POLLNVAL) {
      const int opened = open("/dev/null", O_RDONLY);
      if (opened != stream.fd && opened >= 0) close(opened);
    }
  }
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace pelmode
