#include "wl_connection.h"

#include <algorithm>
#include <cstdlib>

namespace pelmode::wayland {

std::unique_ptr<Connection> Connection::FromEnvironment() {
  const char* display_name = std::getenv("WAYLAND_DISPLAY");
  const char* socket = std::getenv("WAYLAND_SOCKET");
  const bool named = (display_name && *display_name) || (socket && *socket);
  if (!named) return nullptr;
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) return nullptr;
  const bool by_socket = socket && *socket;
  std::unique_ptr<Connection> connection(
      new Connection(display, by_socket ? "" : display_name));
  if (!connection->Roundtrip()) return nullptr;
  return connection;
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
