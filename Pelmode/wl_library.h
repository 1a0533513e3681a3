// libwayland-client, loaded only in a Wayland session: linked, it and libffi
// would be loaded into every X11 run too. Every Wayland header of Pelmode's
// comes through here, so that the protocol code calls the loaded functions.
#pragma once

#include <wayland-client-core.h>

namespace pelmode::wayland {

struct Client {
  decltype(&::wl_display_connect_to_fd) display_connect_to_fd;
  decltype(&::wl_display_disconnect) display_disconnect;
  decltype(&::wl_display_get_fd) display_get_fd;
  decltype(&::wl_display_dispatch_pending) display_dispatch_pending;
  decltype(&::wl_display_prepare_read) display_prepare_read;
  decltype(&::wl_display_flush) display_flush;
  decltype(&::wl_display_read_events) display_read_events;
  decltype(&::wl_display_cancel_read) display_cancel_read;
  decltype(&::wl_proxy_marshal_flags) proxy_marshal_flags;
  decltype(&::wl_proxy_add_listener) proxy_add_listener;
  decltype(&::wl_proxy_destroy) proxy_destroy;
  decltype(&::wl_proxy_get_version) proxy_get_version;
  decltype(&::wl_proxy_set_user_data) proxy_set_user_data;
  decltype(&::wl_proxy_get_user_data) proxy_get_user_data;
};

// Loaded on first use; null when the library cannot be loaded.
const Client* LoadClient();

// Only reached once LoadClient has succeeded.
inline const Client& Wl() { return *LoadClient(); }

}  // namespace pelmode::wayland

#define wl_display_connect_to_fd pelmode::wayland::Wl().display_connect_to_fd
#define wl_display_disconnect pelmode::wayland::Wl().display_disconnect
#define wl_display_get_fd pelmode::wayland::Wl().display_get_fd
#define wl_display_dispatch_pending pelmode::wayland::Wl().display_dispatch_pending
#define wl_display_prepare_read pelmode::wayland::Wl().display_prepare_read
#define wl_display_flush pelmode::wayland::Wl().display_flush
#define wl_display_read_events pelmode::wayland::Wl().display_read_events
#define wl_display_cancel_read pelmode::wayland::Wl().display_cancel_read
#define wl_proxy_marshal_flags pelmode::wayland::Wl().proxy_marshal_flags
#define wl_proxy_add_listener pelmode::wayland::Wl().proxy_add_listener
#define wl_proxy_destroy pelmode::wayland::Wl().proxy_destroy
#define wl_proxy_get_version pelmode::wayland::Wl().proxy_get_version
#define wl_proxy_set_user_data pelmode::wayland::Wl().proxy_set_user_data
#define wl_proxy_get_user_data pelmode::wayland::Wl().proxy_get_user_data

#include <wayland-client-protocol.h>
