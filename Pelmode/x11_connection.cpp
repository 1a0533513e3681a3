#include "x11_connection.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

// A display on this machine's own sockets: no host, or "unix".
bool IsLocal(const char* name, int* display) {
  char* host = nullptr;
  if (!xcb_parse_display(name, &host, display, nullptr)) return false;
  const bool local = *host == '\0' || std::strcmp(host, "unix") == 0;
  std::free(host);
  return local;
}

// A connection to the server of a local display; -1 for any other display,
// or when nothing listens there.
int LocalSocket(const char* name) {
  int display = 0;
  if (!IsLocal(name, &display)) return -1;
  const std::string path = "/tmp/.X11-unix/X" + std::to_string(display);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

volatile sig_atomic_t g_connecting_fd = -1;
volatile sig_atomic_t g_deadline_passed = 0;

void ShutDownConnecting(int) {
  g_deadline_passed = 1;
  shutdown(g_connecting_fd, SHUT_RDWR);
}

// At the deadline shuts down the socket that xcb_connect is about to make:
// the lowest free descriptor, as nothing else in this single-threaded
// program opens one meanwhile. xcb then takes the connection as closed; a
// connect() still waiting for room in the server's listen queue is
// interrupted instead. The timer is Pelmode's own, on a real-time signal
// unblocked for the wait alone: a caller's SIGALRM and its timer, and the
// signal mask Pelmode was started with, are left as they were.
class ConnectTimer {
 public:
  ConnectTimer() {
    const int next_fd = open("/", O_PATH | O_CLOEXEC);
    if (next_fd < 0) return;
    close(next_fd);
    g_connecting_fd = next_fd;
    g_deadline_passed = 0;
    armed_ = Arm();
    if (!armed_) Stop();
  }
  ~ConnectTimer() { Stop(); }
  ConnectTimer(const ConnectTimer&) = delete;
  ConnectTimer& operator=(const ConnectTimer&) = delete;

  bool armed() const { return armed_; }

  // Whether the deadline passed before the timer stopped.
  bool Stop() {
    if (timer_made_) timer_delete(timer_);  // no signal comes after this
    if (mask_set_) pthread_sigmask(SIG_SETMASK, &previous_mask_, nullptr);
    if (handler_set_) sigaction(signal_, &previous_action_, nullptr);
    const bool passed = armed_ && g_deadline_passed != 0;
    timer_made_ = mask_set_ = handler_set_ = armed_ = false;
    return passed;
  }

 private:
  bool Arm() {
    struct sigaction action {};
    action.sa_handler = ShutDownConnecting;
    sigemptyset(&action.sa_mask);
    handler_set_ = sigaction(signal_, &action, &previous_action_) == 0;
    sigevent event{};
    event.sigev_notify = SIGEV_SIGNAL;
    event.sigev_signo = signal_;
    timer_made_ = handler_set_ && timer_create(CLOCK_MONOTONIC, &event, &timer_) == 0;
    sigset_t own;
    sigemptyset(&own);
    sigaddset(&own, signal_);
    mask_set_ = timer_made_ && pthread_sigmask(SIG_UNBLOCK, &own, &previous_mask_) == 0;
    const itimerspec once{{0, 0}, {kAnswerTimeoutS, 0}};
    return mask_set_ && timer_settime(timer_, 0, &once, nullptr) == 0;
  }

  const int signal_ = SIGRTMIN;
  struct sigaction previous_action_ {};
  sigset_t previous_mask_{};
  timer_t timer_{};
  bool handler_set_ = false;
  bool mask_set_ = false;
  bool timer_made_ = false;
  bool armed_ = false;
};

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

// xcb_connect with no deadline of its own: under the timer, or where neither
// a timer nor a thread can be had, when an answer late or never is still
// better than calling a server silent that was never asked.
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

std::unique_ptr<Connection> Connection::Within(const char* name) {
  int display = 0;
  // A host's name is looked up first, on descriptors of the resolver's, so
  // which one the socket gets cannot be foreseen.
  if (!IsLocal(name, &display)) return OnThread(name);
  ConnectTimer timer;
  if (!timer.armed()) return OnThread(name);
  auto connection = Directly(name);
  if (timer.Stop()) return nullptr;
  return connection;
}

bool LocalServerListens(const char* name) {
  const int fd = LocalSocket(name);
  if (fd >= 0) close(fd);
  return fd >= 0;
}

}  // namespace pelmode::x11
