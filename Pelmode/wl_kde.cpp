// KDE Plasma's kwin through its own output protocols: kde_output_device_v2
// describes each output, kde_output_order_v1 names the primary first, and
// kde_output_management_v2 applies what changes.
#include "wl_library.h"
#include "kde-output-device-v2-client-protocol.h"
#include "kde-output-management-v2-client-protocol.h"
#include "kde-output-order-v1-client-protocol.h"

#include "linux_displays.h"
#include "linux_layout_memory.h"
#include "wl_connection.h"
#include "output_model.h"

namespace pelmode {
namespace {

// Versions whose every event has a handler; newer ones are bound at these.
constexpr std::uint32_t kDeviceVersion = 2;
constexpr std::uint32_t kManagementVersion = 3;
constexpr std::uint32_t kOrderVersion = 1;

struct Device;

struct Mode {
  Device* device;
  std::size_t index;
  kde_output_device_mode_v2* proxy;
};

struct Device {
  kde_output_device_v2* proxy = nullptr;
  Output output;
  std::vector<std::unique_ptr<Mode>> modes;
  unsigned dones = 0;  // each ends a description, the first or a change
};

OutputMode& InfoOf(void* data) {
  const Mode* mode = static_cast<Mode*>(data);
  return mode->device->output.modes[mode->index];
}
const kde_output_device_mode_v2_listener kModeListener = {
    [](void* data, kde_output_device_mode_v2*, std::int32_t width, std::int32_t height) {
      InfoOf(data).width_px = std::uint32_t(width);
      InfoOf(data).height_px = std::uint32_t(height);
    },
    [](void* data, kde_output_device_mode_v2*, std::int32_t refresh_mhz) {
      InfoOf(data).refresh_mhz = std::uint32_t(refresh_mhz);
    },
    [](void*, kde_output_device_mode_v2*) {},
    [](void* data, kde_output_device_mode_v2*) { InfoOf(data) = {}; }};

Output& OutputOf(void* data) { return static_cast<Device*>(data)->output; }
void OnGeometry(void* data, kde_output_device_v2*, std::int32_t x, std::int32_t y, std::int32_t,
                std::int32_t, std::int32_t, const char*, const char*, std::int32_t transform) {
  OutputOf(data).x = x;
  OutputOf(data).y = y;
  OutputOf(data).quarter_turn = (transform & 1) != 0;  // 90 and 270, flipped or not
}
void OnCurrentMode(void* data, kde_output_device_v2*, kde_output_device_mode_v2* proxy) {
  Device* device = static_cast<Device*>(data);
  for (const auto& mode : device->modes) {
    if (mode->proxy == proxy) device->output.current_mode = mode->index;
  }
}
void OnMode(void* data, kde_output_device_v2*, kde_output_device_mode_v2* proxy) {
  Device* device = static_cast<Device*>(data);
  device->modes.push_back(std::make_unique<Mode>(Mode{device, device->output.modes.size(), proxy}));
  device->output.modes.emplace_back();
  kde_output_device_mode_v2_add_listener(proxy, &kModeListener, device->modes.back().get());
}
void OnScale(void* data, kde_output_device_v2*, wl_fixed_t scale) {
  OutputOf(data).scale = wl_fixed_to_double(scale);
}
void OnEnabled(void* data, kde_output_device_v2*, std::int32_t enabled) {
  OutputOf(data).enabled = enabled != 0;
}
void OnName(void* data, kde_output_device_v2*, const char* name) { OutputOf(data).name = name; }
void OnText(void*, kde_output_device_v2*, const char*) {}
void OnNumber(void*, kde_output_device_v2*, std::uint32_t) {}
void OnDone(void* data, kde_output_device_v2*) { ++static_cast<Device*>(data)->dones; }
const kde_output_device_v2_listener kDeviceListener = {
    OnGeometry, OnCurrentMode, OnMode,   OnDone,   OnScale,   OnText,   OnEnabled, OnText,
    OnText,     OnText,        OnNumber, OnNumber, OnNumber, OnNumber, OnName};

// The output names in kwin's order, the primary first.
struct Order {
  std::vector<std::string> names;
  bool complete = false;
};
const kde_output_order_v1_listener kOrderListener = {
    [](void* data, kde_output_order_v1*, const char* name) {
      Order* order = static_cast<Order*>(data);
      if (order->complete) *order = {};  // a new list begins
      order->names.push_back(name);
    },
    [](void* data, kde_output_order_v1*) { static_cast<Order*>(data)->complete = true; }};

enum class Outcome { kPending, kApplied, kFailed };
const kde_output_configuration_v2_listener kConfigurationListener = {
    [](void* data, kde_output_configuration_v2*) { *static_cast<Outcome*>(data) = Outcome::kApplied; },
    [](void* data, kde_output_configuration_v2*) { *static_cast<Outcome*>(data) = Outcome::kFailed; }};

class KdeDisplay final : public Backend {
 public:
  KdeDisplay(std::unique_ptr<wayland::Connection> connection, const wayland::Global& management);
  ~KdeDisplay() override;
  std::string Name() const override { return connection_->name(); }
  ApplyResult Read(Reading* reading) override;
  ApplyResult Carry(const Reading& reading, const Plan& plan) override;
  MemoryStore& Memory() override { return memory_; }

 private:
  unsigned Dones() const;

  std::unique_ptr<wayland::Connection> connection_;
  LayoutMemoryFile memory_;
  kde_output_management_v2* management_;
  kde_output_order_v1* order_proxy_ = nullptr;
  Order order_;
  std::vector<std::unique_ptr<Device>> devices_;
  unsigned reads_ = 0;
  bool readable_ = false;
  ApplyResult unreadable_;
};

KdeDisplay::KdeDisplay(std::unique_ptr<wayland::Connection> connection,
                       const wayland::Global& management)
    : connection_(std::move(connection)),
      memory_(connection_->MemoryName()),
      management_(static_cast<kde_output_management_v2*>(connection_->Bind(
          management, &kde_output_management_v2_interface, kManagementVersion))) {
  for (const wayland::Global& global : connection_->globals()) {
    if (global.interface == kde_output_device_v2_interface.name) {
      devices_.push_back(std::make_unique<Device>());
      devices_.back()->proxy = static_cast<kde_output_device_v2*>(
          connection_->Bind(global, &kde_output_device_v2_interface, kDeviceVersion));
      kde_output_device_v2_add_listener(devices_.back()->proxy, &kDeviceListener,
                                        devices_.back().get());
    } else if (global.interface == kde_output_order_v1_interface.name) {
      order_proxy_ = static_cast<kde_output_order_v1*>(
          connection_->Bind(global, &kde_output_order_v1_interface, kOrderVersion));
      kde_output_order_v1_add_listener(order_proxy_, &kOrderListener, &order_);
    }
  }
  // The first round trip delivers the devices' events, the second those of
  // the modes they announced.
  readable_ = connection_->Roundtrip(Deadline()) && connection_->Roundtrip(Deadline());
  if (!readable_) unreadable_ = connection_->WaitFailure(false);
}

KdeDisplay::~KdeDisplay() {
  for (const auto& device : devices_) {
    for (const auto& mode : device->modes) kde_output_device_mode_v2_destroy(mode->proxy);
    kde_output_device_v2_destroy(device->proxy);
  }
  if (order_proxy_ != nullptr) kde_output_order_v1_destroy(order_proxy_);
  kde_output_management_v2_destroy(management_);
}

// The first reading comes with the devices' first description; later ones
// wait for kwin to have sent all it has.
ApplyResult KdeDisplay::Read(Reading* reading) {
  if (readable_ && reads_++ > 0 && !connection_->Roundtrip(Deadline())) {
    readable_ = false;
    unreadable_ = connection_->WaitFailure(false);
  }
  if (!readable_) return unreadable_;
  reading->outputs.clear();
  for (const auto& device : devices_) {
    reading->outputs.push_back(device->output);
    reading->outputs.back().primary = !order_.names.empty() && order_.names[0] == device->output.name;
  }
  return {};
}

unsigned KdeDisplay::Dones() const {
  unsigned dones = 0;
  for (const auto& device : devices_) dones += device->dones;
  return dones;
}

// Only what changes goes in the configuration: the new modes and places.
// kwin answers only "failed": where the outputs changed meanwhile, the
// failure may be theirs, and the change is planned again on their new state.
ApplyResult KdeDisplay::Carry(const Reading& reading, const Plan& plan) {
  const unsigned dones = Dones();
  Outcome outcome = Outcome::kPending;
  kde_output_configuration_v2* configuration =
      kde_output_management_v2_create_configuration(management_);
  kde_output_configuration_v2_add_listener(configuration, &kConfigurationListener, &outcome);
  for (std::size_t i = 0; i < devices_.size(); ++i) {
    const Output& output = reading.outputs[i];
    if (!output.enabled) continue;
    kde_output_device_v2* device = devices_[i]->proxy;
    const OutputPlan& next = plan.outputs[i];
    if (next.mode != output.current_mode) {
      kde_output_configuration_v2_mode(configuration, device, devices_[i]->modes[*next.mode]->proxy);
    }
    if (next.area.x != output.x || next.area.y != output.y) {
      kde_output_configuration_v2_position(configuration, device, next.area.x, next.area.y);
    }
  }
  kde_output_configuration_v2_apply(configuration);
  const bool answered = connection_->DispatchUntil(
      [&outcome] { return outcome != Outcome::kPending; }, Deadline());
  kde_output_configuration_v2_destroy(configuration);
  if (!answered) return connection_->WaitFailure(true);
  if (outcome == Outcome::kApplied) return {};
  if (!connection_->Roundtrip(Deadline())) return connection_->WaitFailure(false);
  if (Dones() != dones) return {ApplyError::kOutputsChanged, {}};
  return {ApplyError::kCompositorRefused, {}};
}

}  // namespace

std::unique_ptr<Backend> OpenKdeDisplay(std::unique_ptr<wayland::Connection>& connection) {
  const wayland::Global* management = connection->Find(kde_output_management_v2_interface.name);
  if (management == nullptr) return nullptr;
  const wayland::Global found = *management;
  return std::make_unique<KdeDisplay>(std::move(connection), found);
}

}  // namespace pelmode
