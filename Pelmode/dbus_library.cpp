#include "dbus_library.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "deadline.h"
#include "linux_library.h"

namespace pelmode {
namespace {

std::optional<SdBus> Load() {
  void* library = OpenLibrary("libsystemd.so.0");
  if (library == nullptr) return std::nullopt;
  SdBus bus;
  const bool found =
      FindSymbol(library, "sd_bus_open_user", &bus.open_user) &&
      FindSymbol(library, "sd_bus_close_unref", &bus.close_unref) &&
      FindSymbol(library, "sd_bus_is_open", &bus.is_open) &&
      FindSymbol(library, "sd_bus_match_signal_async", &bus.match_signal_async) &&
      FindSymbol(library, "sd_bus_call_async", &bus.call_async) &&
      FindSymbol(library, "sd_bus_process", &bus.process) && FindSymbol(library, "sd_bus_wait", &bus.wait) &&
      FindSymbol(library, "sd_bus_error_copy", &bus.error_copy) &&
      FindSymbol(library, "sd_bus_message_get_error", &bus.message_get_error) &&
      FindSymbol(library, "sd_bus_message_ref", &bus.message_ref) &&
      FindSymbol(library, "sd_bus_slot_unref", &bus.slot_unref) &&
      FindSymbol(library, "sd_bus_error_free", &bus.error_free) &&
      FindSymbol(library, "sd_bus_error_has_name", &bus.error_has_name) &&
      FindSymbol(library, "sd_bus_message_new_method_call", &bus.message_new_method_call) &&
      FindSymbol(library, "sd_bus_message_unref", &bus.message_unref) &&
      FindSymbol(library, "sd_bus_message_append", &bus.message_append) &&
      FindSymbol(library, "sd_bus_message_open_container", &bus.message_open_container) &&
      FindSymbol(library, "sd_bus_message_close_container", &bus.message_close_container) &&
      FindSymbol(library, "sd_bus_message_enter_container", &bus.message_enter_container) &&
      FindSymbol(library, "sd_bus_message_exit_container", &bus.message_exit_container) &&
      FindSymbol(library, "sd_bus_message_read", &bus.message_read) &&
      FindSymbol(library, "sd_bus_message_skip", &bus.message_skip);
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

int CallWithin(sd_bus* bus, sd_bus_message* call, sd_bus_message** reply, sd_bus_error* error) {
  const SdBus& sd = *LoadSdBus();
  struct Answer {
    const SdBus* sd;
    sd_bus_message* message = nullptr;
  } answer{&sd};
  static const sd_bus_message_handler_t kOnAnswer = [](sd_bus_message* m, void* data,
                                                       sd_bus_error*) {
    Answer* answer = static_cast<Answer*>(data);
    answer->message = answer->sd->message_ref(m);
    return 0;
  };
  const Deadline deadline;
  sd_bus_slot* slot = nullptr;  // owned by the bus once the answer is in
  int r = sd.call_async(bus, &slot, call, kOnAnswer, &answer,
                        std::uint64_t(kAnswerTimeoutS) * 2000000);  // ours comes first
  while (r >= 0 && answer.message == nullptr) {
    r = sd.process(bus, nullptr);
    if (r > 0 || r < 0) continue;
    if (deadline.RemainingMs() == 0) r = -ETIMEDOUT;
    if (r == 0) r = sd.wait(bus, std::uint64_t(deadline.RemainingMs()) * 1000);
  }
  sd.slot_unref(slot);
  if (r < 0) return r;
  if (const sd_bus_error* failed = sd.message_get_error(answer.message)) {
    sd.error_copy(error, failed);
    sd.message_unref(answer.message);
    return -EIO;
  }
  *reply = answer.message;
  return 0;
}

}  // namespace pelmode
