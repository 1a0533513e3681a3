#include "wl_connection.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "posix_fd.h"

namespace pelmode::wayland {
namespace {

const char* Named(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

std::string CannotBeReached(int error) {
  return std::string("cannot be reached (") + std::strerror(error) + ")";
}

std::string NoAnswer() { return "did not answer within " + std::to_string(kAnswerTimeoutS) + " s"; }

// A descriptor for the compositor's connection, or why there is none.
struct Socket {
  int fd = -1;
  std::string why;
};

// libwayland can talk over a connected stream socket only; over anything
// else its first send fails, and the answer awaited never comes.
std::string SocketStateRefusal(int fd) {
  int listening = 0;
  int type = 0;
  socklen_t listening_size = sizeof listening;
  socklen_t type_size = sizeof type;
  if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &listening_size) != 0 ||
      getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &type_size) != 0) {
    return std::string("names a socket that cannot be queried (") + std::strerror(errno) + ")";
  }
  if (listening != 0) return "names a listening socket, not a connection to a compositor";
  if (type != SOCK_STREAM) {
    return std::string("names a ") + (type == SOCK_DGRAM ? "datagram" : "packet") +
           " socket, not a connection to a compositor";
  }
  sockaddr_storage peer{};
  socklen_t peer_size = sizeof peer;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peer_size) != 0) {
    return "names a socket connected to nothing";
  }
  return {};
}

// The descriptor WAYLAND_SOCKET names, read as libwayland reads it (set but
// empty is no descriptor), or why it may not be handed to libwayland, which
// takes it over and closes it.
Socket HandedSocket(const char* socket) {
  if (*socket == '\0') return {-1, "WAYLAND_SOCKET is set but empty"};
  char* end = nullptr;
  errno = 0;
  const long fd = std::strtol(socket, &end, 10);
  const std::string named = std::string("WAYLAND_SOCKET (\"") + socket + "\")";
  static const char* const kStreams[] = {"standard input", "standard output", "standard error"};
  if (errno == 0 && *end == '\0' && fd >= 0 && fd <= 2) {
    return {-1, named + " names " + kStreams[fd] + ", not a compositor's socket"};
  }
  struct stat info {};
  if (errno != 0 || *end != '\0' || fd < 0 || fd > 65535 || fstat(int(fd), &info) != 0 ||
      !S_ISSOCK(info.st_mode)) {
    return {-1, named + " names no open socket"};
  }
  if (const std::string why = SocketStateRefusal(int(fd)); !why.empty()) {
    return {-1, named + " " + why};
  }
  // As libwayland does: the connection is not handed down to programs started.
  if (fcntl(int(fd), F_SETFD, FD_CLOEXEC) != 0) return {-1, named + " " + CannotBeReached(errno)};
  return {int(fd), {}};
}

// connect() waits for room in a stopped compositor's full listen queue as
// long as the socket's send timeout allows: the time left. Pelmode itself
// stopped and continued cuts that wait short, so it is taken up again.
// libwayland sends with MSG_DONTWAIT, so the timeout has no say later.
Socket ConnectWithin(const sockaddr_un& address, const Deadline& deadline) {
  OwnedFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (fd.get() < 0) return {-1, CannotBeReached(errno)};
  for (int left_ms; (left_ms = deadline.RemainingMs()) > 0;) {
    const timeval timeout{left_ms / 1000, (left_ms % 1000) * 1000};
    if (setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout) != 0) {
      return {-1, CannotBeReached(errno)};
    }
    if (connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      return {fd.release(), {}};
    }
    if (errno != EAGAIN && errno != EINTR) return {-1, CannotBeReached(errno)};
  }
  return {-1, NoAnswer()};
}

// The compositor's socket where libwayland looks for it: a full path as it
// is, any other name in XDG_RUNTIME_DIR.
Socket ConnectToSocket(const char* name, const Deadline& deadline) {
  std::string path = name;
  if (name[0] != '/') {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || runtime[0] != '/') {
      return {-1, "cannot be reached (XDG_RUNTIME_DIR is not set to a full path)"};
    }
    path = std::string(runtime) + "/" + name;
  }
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) {
    return {-1, "cannot be reached (its socket's path is too long)"};
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return ConnectWithin(address, deadline);
}

}  // namespace

Opened Connection::FromEnvironment() {
  const char* display_name = Named("WAYLAND_DISPLAY");
  // libwayland takes WAYLAND_SOCKET once it is set, even empty.
  const char* socket_number = std::getenv("WAYLAND_SOCKET");
  Opened opened;
  opened.named = display_name != nullptr || socket_number != nullptr;
  if (!opened.named) return opened;
  const std::string name =
      socket_number ? std::string("WAYLAND_SOCKET=") + socket_number : display_name;
  const auto unreachable = [&opened, &name](const std::string& why) {
    opened.failure = {ApplyError::kWaylandUnreachable, "\"" + name + "\" " + why};
    return std::move(opened);
  };
  Socket to_compositor;
  if (socket_number) {
    to_compositor = HandedSocket(socket_number);
    if (to_compositor.fd < 0) {
      opened.failure = {ApplyError::kWaylandSocketRefused, to_compositor.why};
      return opened;
    }
  }
  if (LoadClient() == nullptr) {
    return unreachable("cannot be reached (libwayland-client.so.0 cannot be loaded)");
  }
  const Deadline deadline;
  if (!socket_number) to_compositor = ConnectToSocket(display_name, deadline);
  if (to_compositor.fd < 0) return unreachable(to_compositor.why);
  wl_display* display = wl_display_connect_to_fd(to_compositor.fd);
  if (display == nullptr) return unreachable(CannotBeReached(errno));
  std::unique_ptr<Connection> connection(new Connection(display, name));
  if (!connection->Roundtrip(deadline)) {
    return unreachable(connection->timed_out() ? NoAnswer() : "closed the connection");
  }
  opened.connection = std::move(connection);
  return opened;
}

Connection::Connection(wl_display* display, std::string name)
    : display_(display), name_(std::move(name)) {
  static const wl_registry_listener kListener = {OnGlobal, OnGlobalRemove};
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &kListener, this);
}

Connection::~Connection() {
  if (registry_ != nullptr) wl_registry_destroy(registry_);
  wl_display_disconnect(display_);
}

const Global* Connection::Find(const char* interface) const {
  for (const Global& global : globals_) {
    if (global.interface == interface) return &global;
  }
  return nullptr;
}

void* Connection::Bind(const Global& global, const wl_interface* interface,
                       std::uint32_t version) const {
  return wl_registry_bind(registry_, global.name, interface,
                          std::min(global.version, version));
}

pid_t Connection::PeerPid() const {
  ucred peer{};
  socklen_t size = sizeof peer;
  if (getsockopt(wl_display_get_fd(display_), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
    return 0;
  }
  return peer.pid;
}

bool Connection::DispatchUntil(const std::function<bool()>& done, const Deadline& deadline) {
  for (;;) {
    if (wl_display_dispatch_pending(display_) < 0) return false;
    if (done()) return true;
    if (wl_display_prepare_read(display_) != 0) continue;
    const bool unsent = wl_display_flush(display_) < 0;
    if (unsent && errno != EAGAIN) {  // a send that failed: nothing asked will be answered
      wl_display_cancel_read(display_);
      return false;
    }
    pollfd fd = {wl_display_get_fd(display_), short(POLLIN | (unsent ? POLLOUT : 0)), 0};
    const int ready = poll(&fd, 1, deadline.RemainingMs());
    if (ready <= 0 || !(fd.revents & (POLLIN | POLLERR | POLLHUP))) {
      wl_display_cancel_read(display_);
      if (ready < 0 && errno == EINTR) continue;
      if (ready > 0) continue;  // room to send the rest
      timed_out_ = ready == 0;
      return false;
    }
    if (wl_display_read_events(display_) < 0) return false;
  }
}

bool Connection::Roundtrip(const Deadline& deadline) {
  bool answered = false;
  static const wl_callback_listener kListener = {
      [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
  wl_callback* callback = wl_display_sync(display_);
  wl_callback_add_listener(callback, &kListener, &answered);
  const bool ok = DispatchUntil([&answered] { return answered; }, deadline);
  wl_callback_destroy(callback);
  return ok;
}

ApplyResult Connection::WaitFailure(bool asked_change) const {
  if (!timed_out_) {
    return {asked_change ? ApplyError::kConnectionLostAfterRequest : ApplyError::kConnectionLost, {}};
  }
  return {asked_change ? ApplyError::kNoAnswerAfterRequest : ApplyError::kNoAnswer,
          "the compositor \"" + name_ + "\""};
}

void Connection::OnGlobal(void* data, wl_registry*, std::uint32_t name,
                          const char* interface, std::uint32_t version) {
  static_cast<Connection*>(data)->globals_.push_back({name, interface, version});
}

void Connection::OnGlobalRemove(void* data, wl_registry*, std::uint32_t name) {
  auto& globals = static_cast<Connection*>(data)->globals_;
  globals.erase(std::remove_if(globals.begin(), globals.end(),
                               [&](const Global& g) { return g.name == name; }),
                globals.end());
}

}  // namespace pelmode::wayland
