#include "wl_library.h"

#include <dlfcn.h>

#include <optional>

namespace pelmode::wayland {
namespace {

// Sets `function` to the library's symbol of that name; false when missing.
template <typename Function>
bool Find(void* library, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(dlsym(library, name));
  return *function != nullptr;
}

std::optional<Client> Load() {
  void* library = dlopen("libwayland-client.so.0", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return std::nullopt;
  Client c;
  const bool found =
      Find(library, "wl_display_connect", &c.display_connect) &&
      Find(library, "wl_display_disconnect", &c.display_disconnect) &&
      Find(library, "wl_display_get_fd", &c.display_get_fd) &&
      Find(library, "wl_display_dispatch_pending", &c.display_dispatch_pending) &&
      Find(library, "wl_display_prepare_read", &c.display_prepare_read) &&
      Find(library, "wl_display_flush", &c.display_flush) &&
      Find(library, "wl_display_read_events", &c.display_read_events) &&
      Find(library, "wl_display_cancel_read", &c.display_cancel_read) &&
      Find(library, "wl_proxy_marshal_flags", &c.proxy_marshal_flags) &&
      Find(library, "wl_proxy_add_listener", &c.proxy_add_listener) &&
      Find(library, "wl_proxy_destroy", &c.proxy_destroy) &&
      Find(library, "wl_proxy_get_version", &c.proxy_get_version) &&
      Find(library, "wl_proxy_set_user_data", &c.proxy_set_user_data) &&
      Find(library, "wl_proxy_get_user_data", &c.proxy_get_user_data);
  if (!found) return std::nullopt;
  return c;  // the library stays loaded for the rest of the run
}

}  // namespace

const Client* LoadClient() {
  static const std::optional<Client> client = Load();
  return client ? &*client : nullptr;
}

}  // namespace pelmode::wayland
