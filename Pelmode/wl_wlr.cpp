// wlroots compositors (sway, Hyprland, river, labwc, phoc) through
// wlr-output-management: every head is read until the manager's done, and a
// change is a whole configuration applied at once.
#include "wl_library.h"
#include "wlr-output-management-unstable-v1-client-protocol.h"

#include "linux_displays.h"
#include "linux_layout_memory.h"
#include "wl_connection.h"
#include "output_model.h"

namespace pelmode {
namespace {

// Every event up to this version has a handler; a newer one would abort.
constexpr std::uint32_t kManagerVersion = 4;

struct Head;

// wlroots places outputs by their size divided by the scale, cut to whole
// pixels (1366 at 1.5 takes 910).
Output WlrOutput() {
  Output output;
  output.layout_truncates = true;
  return output;
}

struct Mode {
  Head* head;
  std::size_t index;  // in the head's output modes
  zwlr_output_mode_v1* proxy;
};

struct Head {
  zwlr_output_head_v1* proxy = nullptr;
  Output output = WlrOutput();
  std::vector<std::unique_ptr<Mode>> modes;
  bool gone = false;
};

enum class Outcome { kPending, kSucceeded, kFailed, kCancelled };

void OnModeSize(void* data, zwlr_output_mode_v1*, std::int32_t width, std::int32_t height) {
  const Mode* mode = static_cast<Mode*>(data);
  OutputMode& info = mode->head->output.modes[mode->index];
  info.width_px = std::uint32_t(width);
  info.height_px = std::uint32_t(height);
}
void OnModeRefresh(void* data, zwlr_output_mode_v1*, std::int32_t refresh_mhz) {
  const Mode* mode = static_cast<Mode*>(data);
  mode->head->output.modes[mode->index].refresh_mhz = std::uint32_t(refresh_mhz);
}
void OnModePreferred(void*, zwlr_output_mode_v1*) {}
void OnModeFinished(void* data, zwlr_output_mode_v1*) {
  const Mode* mode = static_cast<Mode*>(data);
  mode->head->output.modes[mode->index] = {};  // no size matches it any more
}
const zwlr_output_mode_v1_listener kModeListener = {OnModeSize, OnModeRefresh, OnModePreferred,
                                                    OnModeFinished};

Head* HeadOf(void* data) { return static_cast<Head*>(data); }
void OnName(void* data, zwlr_output_head_v1*, const char* name) { HeadOf(data)->output.name = name; }
void OnText(void*, zwlr_output_head_v1*, const char*) {}
void OnPhysicalSize(void*, zwlr_output_head_v1*, std::int32_t, std::int32_t) {}
void OnMode(void* data, zwlr_output_head_v1*, zwlr_output_mode_v1* proxy) {
  Head* head = HeadOf(data);
  head->modes.push_back(std::make_unique<Mode>(Mode{head, head->output.modes.size(), proxy}));
  head->output.modes.emplace_back();
  zwlr_output_mode_v1_add_listener(proxy, &kModeListener, head->modes.back().get());
}
void OnEnabled(void* data, zwlr_output_head_v1*, std::int32_t enabled) {
  HeadOf(data)->output.enabled = enabled != 0;
}
void OnCurrentMode(void* data, zwlr_output_head_v1*, zwlr_output_mode_v1* proxy) {
  Head* head = HeadOf(data);
  for (const auto& mode : head->modes) {
    if (mode->proxy == proxy) head->output.current_mode = mode->index;
  }
}
void OnPosition(void* data, zwlr_output_head_v1*, std::int32_t x, std::int32_t y) {
  HeadOf(data)->output.x = x;
  HeadOf(data)->output.y = y;
}
void OnTransform(void* data, zwlr_output_head_v1*, std::int32_t transform) {
  HeadOf(data)->output.quarter_turn = (transform & WL_OUTPUT_TRANSFORM_90) != 0;
}
void OnScale(void* data, zwlr_output_head_v1*, wl_fixed_t scale) {
  HeadOf(data)->output.scale = wl_fixed_to_double(scale);
}
void OnFinished(void* data, zwlr_output_head_v1*) { HeadOf(data)->gone = true; }
void OnAdaptiveSync(void*, zwlr_output_head_v1*, std::uint32_t) {}
const zwlr_output_head_v1_listener kHeadListener = {
    OnName,     OnText,      OnPhysicalSize, OnMode, OnEnabled, OnCurrentMode, OnPosition,
    OnTransform, OnScale,    OnFinished,     OnText, OnText,    OnText,        OnAdaptiveSync};

Outcome* OutcomeOf(void* data) { return static_cast<Outcome*>(data); }
const zwlr_output_configuration_v1_listener kConfigurationListener = {
    [](void* data, zwlr_output_configuration_v1*) { *OutcomeOf(data) = Outcome::kSucceeded; },
    [](void* data, zwlr_output_configuration_v1*) { *OutcomeOf(data) = Outcome::kFailed; },
    [](void* data, zwlr_output_configuration_v1*) { *OutcomeOf(data) = Outcome::kCancelled; }};

class WlrDisplay final : public Backend {
 public:
  WlrDisplay(std::unique_ptr<wayland::Connection> connection, const wayland::Global& manager);
  ~WlrDisplay() override;
  std::string Name() const override { return connection_->name(); }
  ApplyResult Read(Reading* reading) override;
  ApplyResult Carry(const Reading& reading, const Plan& plan) override;
  MemoryStore& Memory() override { return memory_; }

 private:
  bool AwaitDoneAfter(unsigned dones);
  std::vector<Head*> LiveHeads() const;
  void Configure(zwlr_output_configuration_v1* configuration, const Plan& plan,
                 std::vector<wl_proxy*>* made);

  static void OnHead(void* data, zwlr_output_manager_v1*, zwlr_output_head_v1* proxy);
  static void OnDone(void* data, zwlr_output_manager_v1*, std::uint32_t serial);
  static void OnManagerFinished(void* data, zwlr_output_manager_v1*);

  std::unique_ptr<wayland::Connection> connection_;
  LayoutMemoryFile memory_;
  zwlr_output_manager_v1* manager_;
  std::vector<std::unique_ptr<Head>> heads_;
  std::vector<Head*> read_heads_;  // the heads of the last reading, in its order
  std::uint32_t serial_ = 0;
  unsigned dones_ = 0;  // the manager's done events so far
  unsigned reads_ = 0;
  // A cancelled apply: the new state comes with a done after this many.
  std::optional<unsigned> cancelled_after_;
  bool readable_ = false;
  ApplyResult unreadable_;
};

WlrDisplay::WlrDisplay(std::unique_ptr<wayland::Connection> connection,
                       const wayland::Global& manager)
    : connection_(std::move(connection)),
      memory_(connection_->MemoryName()),
      manager_(static_cast<zwlr_output_manager_v1*>(
          connection_->Bind(manager, &zwlr_output_manager_v1_interface, kManagerVersion))) {
  static const zwlr_output_manager_v1_listener kListener = {OnHead, OnDone, OnManagerFinished};
  zwlr_output_manager_v1_add_listener(manager_, &kListener, this);
  readable_ = AwaitDoneAfter(0);
}

WlrDisplay::~WlrDisplay() {
  for (const auto& head : heads_) {
    for (const auto& mode : head->modes) zwlr_output_mode_v1_destroy(mode->proxy);
    zwlr_output_head_v1_destroy(head->proxy);
  }
  zwlr_output_manager_v1_destroy(manager_);
}

void WlrDisplay::OnHead(void* data, zwlr_output_manager_v1*, zwlr_output_head_v1* proxy) {
  auto& heads = static_cast<WlrDisplay*>(data)->heads_;
  heads.push_back(std::make_unique<Head>());
  heads.back()->proxy = proxy;
  zwlr_output_head_v1_add_listener(proxy, &kHeadListener, heads.back().get());
}

void WlrDisplay::OnDone(void* data, zwlr_output_manager_v1*, std::uint32_t serial) {
  static_cast<WlrDisplay*>(data)->serial_ = serial;
  ++static_cast<WlrDisplay*>(data)->dones_;
}

void WlrDisplay::OnManagerFinished(void* data, zwlr_output_manager_v1*) {
  static_cast<WlrDisplay*>(data)->readable_ = false;
  static_cast<WlrDisplay*>(data)->unreadable_ = {ApplyError::kConnectionLost, {}};
}

// Waits for a done newer than the `dones`-th: until then the heads are half
// described. It may be here already.
bool WlrDisplay::AwaitDoneAfter(unsigned dones) {
  if (connection_->DispatchUntil([this, dones] { return dones_ > dones; }, Deadline())) {
    return true;
  }
  unreadable_ = connection_->WaitFailure(false);
  return false;
}

std::vector<Head*> WlrDisplay::LiveHeads() const {
  std::vector<Head*> heads;
  for (const auto& head : heads_) {
    if (!head->gone) heads.push_back(head.get());
  }
  return heads;
}

// The first reading comes with the heads' first description; later ones
// wait for the compositor to have sent all it has.
ApplyResult WlrDisplay::Read(Reading* reading) {
  if (readable_ && reads_++ > 0) {
    readable_ = cancelled_after_ ? AwaitDoneAfter(*cancelled_after_)
                                 : connection_->Roundtrip(Deadline());
    if (!readable_ && !cancelled_after_) unreadable_ = connection_->WaitFailure(false);
    cancelled_after_.reset();
  }
  if (!readable_) return unreadable_;
  read_heads_ = LiveHeads();
  reading->outputs.clear();
  for (const Head* head : read_heads_) reading->outputs.push_back(head->output);
  return {};
}

// Every head goes in the configuration: enabled ones with their mode and
// place, disabled ones disabled.
void WlrDisplay::Configure(zwlr_output_configuration_v1* configuration, const Plan& plan,
                           std::vector<wl_proxy*>* made) {
  for (std::size_t i = 0; i < read_heads_.size(); ++i) {
    const Head& head = *read_heads_[i];
    if (!head.output.enabled) {
      zwlr_output_configuration_v1_disable_head(configuration, head.proxy);
      continue;
    }
    auto* config_head = zwlr_output_configuration_v1_enable_head(configuration, head.proxy);
    made->push_back(reinterpret_cast<wl_proxy*>(config_head));
    const OutputPlan& next = plan.outputs[i];
    if (next.mode) zwlr_output_configuration_head_v1_set_mode(config_head, head.modes[*next.mode]->proxy);
    zwlr_output_configuration_head_v1_set_position(config_head, next.area.x, next.area.y);
  }
}

// Cancelled means another client changed the outputs after they were read.
ApplyResult WlrDisplay::Carry(const Reading&, const Plan& plan) {
  const unsigned dones = dones_;
  Outcome outcome = Outcome::kPending;
  auto* configuration = zwlr_output_manager_v1_create_configuration(manager_, serial_);
  zwlr_output_configuration_v1_add_listener(configuration, &kConfigurationListener, &outcome);
  std::vector<wl_proxy*> made;
  Configure(configuration, plan, &made);
  zwlr_output_configuration_v1_apply(configuration);
  const bool answered = connection_->DispatchUntil(
      [&outcome] { return outcome != Outcome::kPending; }, Deadline());
  zwlr_output_configuration_v1_destroy(configuration);
  for (wl_proxy* proxy : made) wl_proxy_destroy(proxy);
  if (!answered) return connection_->WaitFailure(true);
  switch (outcome) {
    case Outcome::kCancelled:
      cancelled_after_ = dones;
      return {ApplyError::kOutputsChanged, {}};
    case Outcome::kFailed:
      return {ApplyError::kCompositorRefused, {}};
    case Outcome::kPending:
    case Outcome::kSucceeded:
      return {};
  }
  return {};
}

}  // namespace

std::unique_ptr<Backend> OpenWlrDisplay(std::unique_ptr<wayland::Connection>& connection) {
  const wayland::Global* manager = connection->Find(zwlr_output_manager_v1_interface.name);
  if (manager == nullptr) return nullptr;
  const wayland::Global found = *manager;
  return std::make_unique<WlrDisplay>(std::move(connection), found);
}

}  // namespace pelmode
