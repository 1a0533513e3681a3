// A connection to the Wayland compositor named by the environment, and the
// globals it advertises.
#pragma once

#include <wayland-client.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pelmode::wayland {

struct Global {
  std::uint32_t name;
  std::string interface;
  std::uint32_t version;
};

class Connection {
 public:
  // Empty unless WAYLAND_DISPLAY or WAYLAND_SOCKET names a compositor that
  // answers: wl_display_connect(NULL) alone would guess "wayland-0".
  static std::unique_ptr<Connection> FromEnvironment();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const std::vector<Global>& globals() const { return globals_; }
  // WAYLAND_DISPLAY, where it names the compositor; empty for WAYLAND_SOCKET.
  const std::string& name() const { return name_; }
  // The global of that interface, if the compositor advertises one.
  const Global* Find(const char* interface) const;
  // Binds the global at the lower of its version and `version`.
  void* Bind(const Global& global, const wl_interface* interface,
             std::uint32_t version) const;
  // Sends what is queued and handles the answers; false once the
  // connection has failed.
  bool Roundtrip() const { return wl_display_roundtrip(display_) >= 0; }
  // Round trips until `done` holds; false once the connection has failed.
  template <typename Done>
  bool RoundtripUntil(Done done) const {
    while (!done()) {
      if (!Roundtrip()) return false;
    }
    return true;
  }

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
};

}  // namespace pelmode::wayland
