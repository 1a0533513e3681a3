// The sd-bus calls that Mutter's display makes, from libsystemd loaded only
// when Mutter may be asked: linked, it brings 20 shared objects into every
// run and about half a millisecond of loading.
#pragma once

#include <systemd/sd-bus.h>

namespace pelmode {

struct SdBus {
  decltype(&::sd_bus_open_user) open_user;
  decltype(&::sd_bus_close_unref) close_unref;
  decltype(&::sd_bus_is_open) is_open;
  decltype(&::sd_bus_match_signal_async) match_signal_async;
  decltype(&::sd_bus_call_async) call_async;
  decltype(&::sd_bus_process) process;
  decltype(&::sd_bus_wait) wait;
  decltype(&::sd_bus_error_copy) error_copy;
  decltype(&::sd_bus_message_get_error) message_get_error;
  decltype(&::sd_bus_message_ref) message_ref;
  decltype(&::sd_bus_slot_unref) slot_unref;
  decltype(&::sd_bus_error_free) error_free;
  decltype(&::sd_bus_error_has_name) error_has_name;
  decltype(&::sd_bus_message_new_method_call) message_new_method_call;
  decltype(&::sd_bus_message_unref) message_unref;
  decltype(&::sd_bus_message_append) message_append;
  decltype(&::sd_bus_message_open_container) message_open_container;
  decltype(&::sd_bus_message_close_container) message_close_container;
  decltype(&::sd_bus_message_enter_container) message_enter_container;
  decltype(&::sd_bus_message_exit_container) message_exit_container;
  decltype(&::sd_bus_message_read) message_read;
  decltype(&::sd_bus_message_skip) message_skip;
};

// Whether a session bus may be running: where none is named, there is no
// Mutter to ask, and libsystemd is not loaded.
bool SessionBusNamed();

// libsystemd's calls, loaded on first use; null when it cannot be loaded.
const SdBus* LoadSdBus();

// Sends the method call and waits for its answer until the deadline:
// sd_bus_call would wait 90 s for a bus that never finishes the handshake.
// The reply is set on success; -ETIMEDOUT when the deadline passed first.
int CallWithin(sd_bus* bus, sd_bus_message* call, sd_bus_message** reply, sd_bus_error* error);

}  // namespace pelmode
