#include "dbus_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <type_traits>

namespace pelmode {
namespace {

// Sets `function` to the library's symbol of that name; false when missing.
template <typename Function>
bool Find(void* library, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(dlsym(library, name));
  return *function != nullptr;
}

std::optional<SdBus> Load() {
  void* library = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return std::nullopt;
  SdBus bus;
  const bool found =
      Find(library, "sd_bus_open_user", &bus.open_user) &&
      Find(library, "sd_bus_flush_close_unref", &bus.flush_close_unref) &&
      Find(library, "sd_bus_is_open", &bus.is_open) && Find(library, "sd_bus_call", &bus.call) &&
      Find(library, "sd_bus_set_method_call_timeout", &bus.set_method_call_timeout) &&
      Find(library, "sd_bus_match_signal", &bus.match_signal) &&
      Find(library, "sd_bus_process", &bus.process) &&
      Find(library, "sd_bus_call_method", &bus.call_method) &&
      Find(library, "sd_bus_error_free", &bus.error_free) &&
      Find(library, "sd_bus_error_has_name", &bus.error_has_name) &&
      Find(library, "sd_bus_message_new_method_call", &bus.message_new_method_call) &&
      Find(library, "sd_bus_message_unref", &bus.message_unref) &&
      Find(library, "sd_bus_message_append", &bus.message_append) &&
      Find(library, "sd_bus_message_open_container", &bus.message_open_container) &&
      Find(library, "sd_bus_message_close_container", &bus.message_close_container) &&
      Find(library, "sd_bus_message_enter_container", &bus.message_enter_container) &&
      Find(library, "sd_bus_message_exit_container", &bus.message_exit_container) &&
      Find(library, "sd_bus_message_read", &bus.message_read) &&
      Find(library, "sd_bus_message_skip", &bus.message_skip);
  if (!found) return std::nullopt;
  return bus;  // the library stays loaded for the rest of the run
}

}  // namespace

bool SessionBusNamed() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address != nullptr && *address != '\0') return true;
  // Where sd_bus_open_user looks without an address.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string folder = runtime != nullptr && *runtime != '\0'
                                 ? runtime
                                 : "/run/user/" + std::to_string(getuid());
  return access((folder + "/bus").c_str(), F_OK) == 0;
}

const SdBus* LoadSdBus() {
  static const std::optional<SdBus> bus = Load();
  return bus ? &*bus : nullptr;
}

}  // namespace pelmode
