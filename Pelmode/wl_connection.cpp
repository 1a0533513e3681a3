#include "wl_connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace pelmode::wayland {
namespace {

const char* Named(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

// Why WAYLAND_SOCKET may not be handed to libwayland, which takes the
// descriptor over and closes it; empty when it may.
std::string SocketRefusal(const char* socket) {
  char* end = nullptr;
  errno = 0;
  const long fd = std::strtol(socket, &end, 10);
  const std::string named = std::string("WAYLAND_SOCKET (\"") + socket + "\")";
  static const char* const kStreams[] = {"standard input", "standard output", "standard error"};
  if (errno == 0 && *end == '\0' && fd >= 0 && fd <= 2) {
    return named + " names " + kStreams[fd] + ", not a compositor's socket";
  }
  struct stat info {};
  if (errno != 0 || *end != '\0' || fd < 0 || fd > 65535 || fstat(int(fd), &info) != 0 ||
      !S_ISSOCK(info.st_mode)) {
    return named + " names no open socket";
  }
  return {};
}

}  // namespace

Opened Connection::FromEnvironment() {
  const char* display_name = Named("WAYLAND_DISPLAY");
  const char* socket = Named("WAYLAND_SOCKET");
  Opened opened;
  opened.named = display_name != nullptr || socket != nullptr;
  if (!opened.named) return opened;
  const std::string name = socket ? std::string("WAYLAND_SOCKET=") + socket : display_name;
  const auto unreachable = [&opened, &name](const std::string& why) {
    opened.failure = {ApplyError::kWaylandUnreachable, "\"" + name + "\" " + why};
    return std::move(opened);
  };
  if (socket) {
    if (const std::string refusal = SocketRefusal(socket); !refusal.empty()) {
      opened.failure = {ApplyError::kWaylandSocketRefused, refusal};
      return opened;
    }
  }
  if (LoadClient() == nullptr) {
    return unreachable("cannot be reached (libwayland-client.so.0 cannot be loaded)");
  }
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) return unreachable(std::string("cannot be reached (") + std::strerror(errno) + ")");
  std::unique_ptr<Connection> connection(new Connection(display, name));
  if (!connection->Roundtrip(Deadline())) {
    return unreachable(connection->timed_out()
                           ? "did not answer within " + std::to_string(kAnswerTimeoutS) + " s"
                           : "closed the connection");
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
    const bool unsent = wl_display_flush(display_) < 0 && errno == EAGAIN;
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
  if (!timed_out_) return {ApplyError::kConnectionLost, {}};
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
