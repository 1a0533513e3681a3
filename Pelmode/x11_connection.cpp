#include "x11_connection.h"

#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "deadline.h"

namespace pelmode::x11 {

namespace {

struct Attempt {
  std::string name;
  int answer_fd;
};

struct Answer {
  xcb_connection_t* connection;
  int screen_number;
};

// The connecting thread hands its connection over a socket, so that a main
// thread that stopped waiting leaves the connection to be closed here.
void* Connect(void* argument) {
  const std::unique_ptr<Attempt> attempt(static_cast<Attempt*>(argument));
  Answer answer{nullptr, 0};
  answer.connection = xcb_connect(attempt->name.c_str(), &answer.screen_number);
  if (send(attempt->answer_fd, &answer, sizeof answer, MSG_NOSIGNAL) != sizeof answer) {
    xcb_disconnect(answer.connection);
  }
  close(attempt->answer_fd);
  return nullptr;
}

// Whether `fd` has something to read before the deadline.
bool AwaitReadable(int fd) {
  pollfd readable{fd, POLLIN, 0};
  const Deadline deadline;
  int ready;
  while ((ready = poll(&readable, 1, deadline.RemainingMs())) < 0 && errno == EINTR) {
  }
  return ready > 0;
}

// A connection to the server of a local display (no host, or "unix"); -1
// for any other display, or when nothing listens there.
int LocalSocket(const char* name) {
  char* host = nullptr;
  int display = 0;
  if (!xcb_parse_display(name, &host, &display, nullptr)) return -1;
  const bool local = *host == '\0' || std::strcmp(host, "unix") == 0;
  std::free(host);
  if (!local) return -1;
  const std::string path = "/tmp/.X11-unix/X" + std::to_string(display);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

bool StartConnecting(const char* name, int answer_fd) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return false;
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  auto* attempt = new Attempt{name, answer_fd};
  pthread_t thread;
  const bool started = pthread_create(&thread, &attributes, Connect, attempt) == 0;
  pthread_attr_destroy(&attributes);
  if (!started) delete attempt;
  return started;
}

}  // namespace

// Without a thread to wait on, an answer late or never is still better than
// calling a server silent that was never asked.
std::unique_ptr<Connection> Connection::Directly(const char* name) {
  int screen_number = 0;
  xcb_connection_t* connection = xcb_connect(name, &screen_number);
  return std::unique_ptr<Connection>(new Connection(connection, screen_number));
}

std::unique_ptr<Connection> Connection::OnThread(const char* name) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return Directly(name);
  if (!StartConnecting(name, fds[1])) {
    close(fds[0]);
    close(fds[1]);
    return Directly(name);
  }
  Answer answer{nullptr, 0};
  const bool answered = AwaitReadable(fds[0]) && recv(fds[0], &answer, sizeof answer, 0) == sizeof answer;
  close(fds[0]);
  if (!answered) return nullptr;
  return std::unique_ptr<Connection>(new Connection(answer.connection, answer.screen_number));
}

// A local server is asked for its greeting on a connection of Pelmode's own:
// one round trip, where a thread for xcb_connect cost several times that.
std::unique_ptr<Connection> Connection::Within(const char* name) {
  const int fd = LocalSocket(name);
  // Elsewhere, or listening only on the abstract socket, xcb goes its own way.
  if (fd < 0) return OnThread(name);
  // A connection setup without authorization, least significant byte first,
  // protocol 11.0: any server answers it, if only with a refusal.
  static constexpr char kSetup[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const bool answered =
      send(fd, kSetup, sizeof kSetup, MSG_NOSIGNAL) == sizeof kSetup && AwaitReadable(fd);
  close(fd);
  return answered ? Directly(name) : nullptr;
}

bool LocalServerListens(const char* name) {
  const int fd = LocalSocket(name);
  if (fd >= 0) close(fd);
  return fd >= 0;
}

}  // namespace pelmode::x11
