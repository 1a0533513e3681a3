// GNOME's Mutter through org.gnome.Mutter.DisplayConfig on the session bus:
// GetCurrentState reads the monitors, ApplyMonitorsConfig with the temporary
// method changes them, and nothing is written to monitors.xml.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "deadline.h"

#include "dbus_library.h"
#include "linux_displays.h"
#include "linux_layout_memory.h"
#include "mode_choice.h"
#include "output_model.h"

namespace pelmode {
namespace {

// Only reached once LoadSdBus has succeeded.
const SdBus& Sd() { return *LoadSdBus(); }

constexpr char kService[] = "org.gnome.Mutter.DisplayConfig";
constexpr char kPath[] = "/org/gnome/Mutter/DisplayConfig";
constexpr std::uint32_t kTemporary = 1;  // the method that stores nothing
constexpr std::uint32_t kPhysicalLayout = 2;

struct BusUnref {
  void operator()(sd_bus* bus) const { Sd().close_unref(bus); }
};
struct MessageUnref {
  void operator()(sd_bus_message* message) const { Sd().message_unref(message); }
};
using Bus = std::unique_ptr<sd_bus, BusUnref>;
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

class BusError {
 public:
  BusError() = default;
  ~BusError() { Sd().error_free(&error_); }
  BusError(const BusError&) = delete;
  BusError& operator=(const BusError&) = delete;
  sd_bus_error* get() { return &error_; }
  bool Is(const char* name) const { return Sd().error_has_name(&error_, name); }
  bool IsSet() const { return error_.name != nullptr; }
  std::string Text() const { return error_.message ? error_.message : "unknown error"; }

 private:
  sd_bus_error error_ = SD_BUS_ERROR_NULL;
};

struct LogicalMonitor {
  std::int32_t x = 0, y = 0;
  double scale = 1;
  std::uint32_t transform = 0;
  int primary = 0;
  std::vector<std::string> connectors;
};

// Mutter's monitors as outputs, with what the apply must send back.
struct State {
  std::uint32_t serial = 0;
  std::vector<Output> outputs;              // one a connector
  std::vector<std::vector<std::string>> mode_ids;  // each output's, in order
  std::vector<LogicalMonitor> logical;
  std::optional<std::uint32_t> layout_mode;  // where Mutter lets it be sent back
  bool physical_layout = false;
};

// Calls a method with no argument or one string, waiting until the deadline.
int Call(sd_bus* bus, const char* service, const char* path, const char* interface,
         const char* method, sd_bus_error* error, sd_bus_message** reply,
         const char* argument = nullptr) {
  sd_bus_message* raw = nullptr;
  int r = Sd().message_new_method_call(bus, &raw, service, path, interface, method);
  const Message call(raw);
  if (r >= 0 && argument != nullptr) r = Sd().message_append(call.get(), "s", argument);
  return r < 0 ? r : CallWithin(bus, call.get(), reply, error);
}

// Reads an a{sv}, handing each value to `read` with its key.
template <typename Read>
int ReadProperties(sd_bus_message* m, Read read) {
  int r = Sd().message_enter_container(m, 'a', "{sv}");
  while (r >= 0 && (r = Sd().message_enter_container(m, 'e', "sv")) > 0) {
    const char* key = nullptr;
    r = Sd().message_read(m, "s", &key);
    if (r >= 0) r = read(std::string(key));
    if (r >= 0) r = Sd().message_exit_container(m);
  }
  return r < 0 ? r : Sd().message_exit_container(m);
}

int SkipValue(sd_bus_message* m) { return Sd().message_skip(m, "v"); }

// Reads an array of structs with `read_one` for each.
template <typename ReadOne>
int ReadArray(sd_bus_message* m, const char* contents, ReadOne read_one) {
  int r = Sd().message_enter_container(m, 'a', (std::string("(") + contents + ")").c_str());
  while (r >= 0 && (r = Sd().message_enter_container(m, 'r', contents)) > 0) {
    r = read_one();
    if (r >= 0) r = Sd().message_exit_container(m);
  }
  return r < 0 ? r : Sd().message_exit_container(m);
}

// Reads one of the last output's modes, noting it if it is the current one.
int ReadMode(sd_bus_message* m, State* state) {
  const char* id = nullptr;
  std::int32_t width = 0, height = 0;
  double refresh_hz = 0, preferred_scale = 0;
  std::vector<double> scales;
  int r = Sd().message_read(m, "siidd", &id, &width, &height, &refresh_hz, &preferred_scale);
  if (r >= 0) r = Sd().message_enter_container(m, 'a', "d");
  double scale = 0;
  while (r >= 0 && (r = Sd().message_read(m, "d", &scale)) > 0) scales.push_back(scale);
  if (r >= 0) r = Sd().message_exit_container(m);
  if (r >= 0) {
    r = ReadProperties(m, [&](const std::string& key) {
      if (key != "is-current") return SkipValue(m);
      int is_current = 0;
      const int read = Sd().message_read(m, "v", "b", &is_current);
      if (is_current) state->outputs.back().current_mode = state->outputs.back().modes.size();
      return read;
    });
  }
  state->mode_ids.back().push_back(id ? id : "");
  state->outputs.back().modes.push_back({std::uint32_t(width), std::uint32_t(height),
                                         Rounded(refresh_hz * 1000), true,
                                         scales});
  return r;
}

int ReadMonitor(sd_bus_message* m, State* state) {
  const char* connector = nullptr;
  int r = Sd().message_read(m, "(ssss)", &connector, nullptr, nullptr, nullptr);
  state->outputs.emplace_back();
  state->outputs.back().name = connector ? connector : "";
  state->mode_ids.emplace_back();
  if (r >= 0) r = ReadArray(m, "siiddada{sv}", [&] { return ReadMode(m, state); });
  return r < 0 ? r : Sd().message_skip(m, "a{sv}");
}

int ReadLogicalMonitor(sd_bus_message* m, LogicalMonitor* logical) {
  int r = Sd().message_read(m, "iidub", &logical->x, &logical->y, &logical->scale,
                              &logical->transform, &logical->primary);
  if (r >= 0) r = Sd().message_enter_container(m, 'a', "(ssss)");
  const char* connector = nullptr;
  while (r >= 0 && (r = Sd().message_read(m, "(ssss)", &connector, nullptr, nullptr, nullptr)) > 0) {
    logical->connectors.push_back(connector);
  }
  if (r >= 0) r = Sd().message_exit_container(m);
  return r < 0 ? r : Sd().message_skip(m, "a{sv}");
}

int ReadState(sd_bus_message* m, State* state) {
  int r = Sd().message_read(m, "u", &state->serial);
  if (r >= 0) {
    r = ReadArray(m, "(ssss)a(siiddada{sv})a{sv}", [&] { return ReadMonitor(m, state); });
  }
  if (r >= 0) {
    r = ReadArray(m, "iiduba(ssss)a{sv}", [&] {
      state->logical.emplace_back();
      return ReadLogicalMonitor(m, &state->logical.back());
    });
  }
  if (r < 0) return r;
  std::uint32_t mode = 0;
  int changeable = 0;
  r = ReadProperties(m, [&](const std::string& key) {
    if (key == "layout-mode") return Sd().message_read(m, "v", "u", &mode);
    if (key == "supports-changing-layout-mode") return Sd().message_read(m, "v", "b", &changeable);
    return SkipValue(m);
  });
  state->physical_layout = mode == kPhysicalLayout;
  if (changeable && mode != 0) state->layout_mode = mode;
  return r;
}

// Every logical monitor names monitors of the state, and every monitor
// that shows something has a mode in force.
bool Consistent(const State& state) {
  for (const LogicalMonitor& logical : state.logical) {
    for (const std::string& connector : logical.connectors) {
      if (std::none_of(state.outputs.begin(), state.outputs.end(),
                       [&](const Output& o) { return o.name == connector; })) {
        return false;
      }
    }
  }
  return std::all_of(state.outputs.begin(), state.outputs.end(),
                     [](const Output& o) { return !o.enabled || o.current_mode; });
}

// Places each monitor where its logical monitor is.
void PlaceOutputs(State* state) {
  for (const LogicalMonitor& logical : state->logical) {
    for (Output& output : state->outputs) {
      if (std::find(logical.connectors.begin(), logical.connectors.end(), output.name) ==
          logical.connectors.end()) {
        continue;
      }
      output.enabled = true;
      output.primary = logical.primary != 0;
      output.x = logical.x;
      output.y = logical.y;
      output.scale = logical.scale;
      output.scale_divides_layout = !state->physical_layout;
      output.quarter_turn = (logical.transform & 1) != 0;
    }
  }
}

const char kWho[] = "Mutter on the session bus";

class MutterDisplay final : public Backend {
 public:
  MutterDisplay(Bus bus, const std::string& memory_name);
  std::string Name() const override { return kWho; }
  ApplyResult Read(Reading* reading) override;
  ApplyResult Carry(const Reading& reading, const Plan& plan) override;
  MemoryStore& Memory() override { return memory_; }

 private:
  bool Refresh();
  bool ChangedSinceRead();
  int AppendLogicalMonitors(sd_bus_message* m, const Plan& plan) const;
  int AppendProperties(sd_bus_message* m) const;
  ApplyResult CallFailure(int r, const BusError& error, bool asked_change) const;

  Bus bus_;
  LayoutMemoryFile memory_;
  bool changed_ = false;
  State state_;
  unsigned reads_ = 0;
  bool readable_ = false;
  ApplyResult unreadable_;
};

MutterDisplay::MutterDisplay(Bus bus, const std::string& memory_name)
    : bus_(std::move(bus)), memory_(memory_name) {
  static const sd_bus_message_handler_t kOnChange = [](sd_bus_message*, void* data, sd_bus_error*) {
    *static_cast<bool*>(data) = true;
    return 0;
  };
  // Watched before the first read, so no change after it goes unseen.
  // A floating watch: one the display held would keep the bus alive.
  const int r = Sd().match_signal_async(bus_.get(), nullptr, kService, kPath, kService,
                                        "MonitorsChanged", kOnChange, nullptr, &changed_);
  if (r < 0) {
    unreadable_ = CallFailure(r, BusError(), false);
    return;
  }
  readable_ = Refresh();
}

ApplyResult MutterDisplay::CallFailure(int r, const BusError& error, bool asked_change) const {
  if (r == -ETIMEDOUT) {
    return {asked_change ? ApplyError::kNoAnswerAfterRequest : ApplyError::kNoAnswer, kWho};
  }
  // Mutter gone from the bus is no refusal of Mutter's.
  const bool gone = !Sd().is_open(bus_.get()) || error.Is(SD_BUS_ERROR_SERVICE_UNKNOWN) ||
                    error.Is(SD_BUS_ERROR_NAME_HAS_NO_OWNER) || error.Is(SD_BUS_ERROR_NO_REPLY) ||
                    error.Is(SD_BUS_ERROR_DISCONNECTED);
  if (gone) return {asked_change ? ApplyError::kConnectionLostAfterRequest : ApplyError::kConnectionLost, {}};
  return {ApplyError::kCompositorRefused, error.Text()};
}

bool MutterDisplay::Refresh() {
  BusError error;
  sd_bus_message* raw = nullptr;
  state_ = {};
  changed_ = false;
  const int r = Call(bus_.get(), kService, kPath, kService, "GetCurrentState", error.get(), &raw);
  const Message reply(raw);
  if (r < 0) {
    unreadable_ = CallFailure(r, error, false);
    return false;
  }
  if (ReadState(reply.get(), &state_) < 0) {
    unreadable_ = {ApplyError::kUnreadableAnswer, kWho};
    return false;
  }
  PlaceOutputs(&state_);
  if (!Consistent(state_)) unreadable_ = {ApplyError::kUnreadableAnswer, kWho};
  return Consistent(state_);
}

// Handles what the bus has brought so far, without waiting.
bool MutterDisplay::ChangedSinceRead() {
  while (Sd().process(bus_.get(), nullptr) > 0) {
  }
  return changed_;
}

// The first reading is the one made on opening.
ApplyResult MutterDisplay::Read(Reading* reading) {
  if (readable_ && reads_++ > 0) readable_ = Refresh();
  if (!readable_) return unreadable_;
  reading->outputs = state_.outputs;
  return {};
}

int MutterDisplay::AppendLogicalMonitors(sd_bus_message* m, const Plan& plan) const {
  int r = Sd().message_open_container(m, 'a', "(iiduba(ssa{sv}))");
  for (const LogicalMonitor& logical : state_.logical) {
    if (logical.connectors.empty()) continue;
    // Consistent() found every connector among the monitors.
    std::size_t first = 0;
    while (state_.outputs[first].name != logical.connectors[0]) ++first;
    if (r >= 0) r = Sd().message_open_container(m, 'r', "iiduba(ssa{sv})");
    if (r >= 0) {
      const OutputPlan& next = plan.outputs[first];
      r = Sd().message_append(m, "iidub", next.area.x, next.area.y, next.scale,
                                logical.transform, logical.primary);
    }
    if (r >= 0) r = Sd().message_open_container(m, 'a', "(ssa{sv})");
    for (std::size_t i = 0; r >= 0 && i < state_.outputs.size(); ++i) {
      const Output& output = state_.outputs[i];
      if (std::find(logical.connectors.begin(), logical.connectors.end(), output.name) ==
          logical.connectors.end()) {
        continue;
      }
      const std::size_t mode = plan.outputs[i].mode.value_or(*output.current_mode);
      r = Sd().message_append(m, "(ssa{sv})", output.name.c_str(),
                                state_.mode_ids[i][mode].c_str(), 0);
    }
    if (r >= 0) r = Sd().message_close_container(m);
    if (r >= 0) r = Sd().message_close_container(m);
  }
  return r < 0 ? r : Sd().message_close_container(m);
}

// The layout mode goes back as it was: Mutter would take its default.
int MutterDisplay::AppendProperties(sd_bus_message* m) const {
  if (!state_.layout_mode) return Sd().message_append(m, "a{sv}", 0);
  return Sd().message_append(m, "a{sv}", 1, "layout-mode", "u", *state_.layout_mode);
}

// Mutter's serial moves only on hot-plug, so a change another client made
// since the read shows as MonitorsChanged; one made after the last look and
// before Mutter takes the apply is not seen.
ApplyResult MutterDisplay::Carry(const Reading&, const Plan& plan) {
  if (ChangedSinceRead()) return {ApplyError::kOutputsChanged, {}};
  sd_bus_message* raw = nullptr;
  int r = Sd().message_new_method_call(bus_.get(), &raw, kService, kPath, kService,
                                         "ApplyMonitorsConfig");
  const Message call(raw);
  if (r >= 0) r = Sd().message_append(call.get(), "uu", state_.serial, kTemporary);
  if (r >= 0) r = AppendLogicalMonitors(call.get(), plan);
  if (r >= 0) r = AppendProperties(call.get());
  if (r < 0) return {ApplyError::kUnreadableAnswer, kWho};
  BusError error;
  sd_bus_message* answer = nullptr;
  r = CallWithin(bus_.get(), call.get(), &answer, error.get());
  Sd().message_unref(answer);
  if (r >= 0) return {};
  if (error.Is(SD_BUS_ERROR_ACCESS_DENIED) && error.Text().find("stale") != std::string::npos) {
    return {ApplyError::kOutputsChanged, {}};
  }
  return CallFailure(r, error, true);
}

// The process that owns the name (0 when nobody does), or the bus's
// failure as a negative errno.
int OwnerOf(sd_bus* bus, const char* name, pid_t* owner) {
  BusError error;
  sd_bus_message* raw = nullptr;
  const int r = Call(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                     "GetConnectionUnixProcessID", error.get(), &raw, name);
  const Message reply(raw);
  std::uint32_t pid = 0;
  *owner = 0;
  if (r >= 0 && Sd().message_read(reply.get(), "u", &pid) >= 0) *owner = pid_t(pid);
  // An answer, even "no such name", is a bus that works.
  return r >= 0 || error.IsSet() ? 0 : r;
}

}  // namespace

std::unique_ptr<Backend> OpenMutterDisplay(pid_t compositor, const std::string& memory_name,
                                           std::string* bus_problem) {
  if (!SessionBusNamed() || LoadSdBus() == nullptr) return nullptr;
  sd_bus* raw = nullptr;
  int r = Sd().open_user(&raw);
  Bus bus(raw);
  pid_t owner = 0;
  if (r >= 0) r = OwnerOf(bus.get(), kService, &owner);
  if (r == -ETIMEDOUT) return UnusableBackend({ApplyError::kNoAnswer, "the session bus"});
  if (r < 0) *bus_problem = std::strerror(-r);
  if (r < 0 || owner == 0 || (compositor != 0 && owner != compositor)) return nullptr;
  return std::make_unique<MutterDisplay>(std::move(bus), memory_name);
}

}  // namespace pelmode
