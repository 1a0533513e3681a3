#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform.h"

namespace pelmode {

void PrepareStandardStreams() {
  // A closed descriptor 1 would otherwise go to the X connection's socket,
  // and the report would be written into the protocol stream. Read-only
  // /dev/null takes its place: reads see the end, writes fail.
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      const int opened = open("/dev/null", O_RDONLY);
      if (opened != fd && opened >= 0) close(opened);
    }
  }
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace pelmode
