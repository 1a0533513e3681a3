// A connection to the Wayland compositor named by the environment, the
// globals it advertises, and waits for its answers that end at a deadline.
#pragma once

#include <sys/types.h>
#include "wl_library.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "deadline.h"
#include "platform.h"

namespace pelmode::wayland {

struct Global {
  std::uint32_t name;
  std::string interface;
  std::uint32_t version;
};

class Connection;

// What the environment names, and what became of it.
struct Opened {
  std::unique_ptr<Connection> connection;  // set when the compositor answered
  bool named = false;                      // WAYLAND_DISPLAY or WAYLAND_SOCKET is set
  ApplyResult failure;  // why a named compositor cannot be used
};

class Connection {
 public:
  // Connects where WAYLAND_DISPLAY or WAYLAND_SOCKET names a compositor
  // (wl_display_connect(NULL) alone would guess "wayland-0"), as libwayland
  // would, but within the deadline, connect() included. A WAYLAND_SOCKET
  // that is empty, names a standard stream or anything but a connected
  // stream socket is refused.
  static Opened FromEnvironment();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const std::vector<Global>& globals() const { return globals_; }
  // How the compositor is named in messages: its socket, or WAYLAND_SOCKET.
  const std::string& name() const { return name_; }
  // The name its layout memory is kept under.
  std::string MemoryName() const { return "wayland-" + name_; }
  // The global of that interface, if the compositor advertises one.
  const Global* Find(const char* interface) const;
  // Binds the global at the lower of its version and `version`.
  void* Bind(const Global& global, const wl_interface* interface,
             std::uint32_t version) const;
  // The process at the other end of the socket; 0 when unknown.
  pid_t PeerPid() const;
  // Handles events until `done` holds, waiting for them without spinning.
  // False when the connection fails or `deadline` passes first; timed_out()
  // tells which.
  bool DispatchUntil(const std::function<bool()>& done, const Deadline& deadline);
  // Everything asked so far answered.
  bool Roundtrip(const Deadline& deadline);
  bool timed_out() const { return timed_out_; }
  // Why the last wait failed: no answer in time (a change may be on its way
  // once `asked_change`), or the connection gone.
  ApplyResult WaitFailure(bool asked_change) const;

 private:
  Connection(wl_display* display, std::string name);
  static void OnGlobal(void* data, wl_registry* registry, std::uint32_t name,
                       const char* interface, std::uint32_t version);
  static void OnGlobalRemove(void* data, wl_registry* registry,
                             std::uint32_t name);

  wl_display* display_;
  std::string name_;
  wl_registry* registry_ = nullptr;
  std::vector<Global> globals_;
  bool timed_out_ = false;
};

}  // namespace pelmode::wayland
