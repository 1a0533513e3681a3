#include "wl_library.h"

#include <optional>

#include "linux_library.h"

namespace pelmode::wayland {
namespace {

std::optional<Client> Load() {
  void* library = OpenLibrary("libwayland-client.so.0");
  if (library == nullptr) return std::nullopt;
  Client c;
  const bool found =
      FindSymbol(library, "wl_display_connect_to_fd", &c.display_connect_to_fd) &&
      FindSymbol(library, "wl_display_disconnect", &c.display_disconnect) &&
      FindSymbol(library, "wl_display_get_fd", &c.display_get_fd) &&
      FindSymbol(library, "wl_display_dispatch_pending", &c.display_dispatch_pending) &&
      FindSymbol(library, "wl_display_prepare_read", &c.display_prepare_read) &&
      FindSymbol(library, "wl_display_flush", &c.display_flush) &&
      FindSymbol(library, "wl_display_read_events", &c.display_read_events) &&
      FindSymbol(library, "wl_display_cancel_read", &c.display_cancel_read) &&
      FindSymbol(library, "wl_proxy_marshal_flags", &c.proxy_marshal_flags) &&
      FindSymbol(library, "wl_proxy_add_listener", &c.proxy_add_listener) &&
      FindSymbol(library, "wl_proxy_destroy", &c.proxy_destroy) &&
      FindSymbol(library, "wl_proxy_get_version", &c.proxy_get_version) &&
      FindSymbol(library, "wl_proxy_set_user_data", &c.proxy_set_user_data) &&
      FindSymbol(library, "wl_proxy_get_user_data", &c.proxy_get_user_data);
  if (!found) return std::nullopt;
  return c;  // the library stays loaded for the rest of the run
}

}  // namespace

const Client* LoadClient() {
  static const std::optional<Client> client = Load();
  return client ? &*client : nullptr;
}

}  // namespace pelmode::wayland
