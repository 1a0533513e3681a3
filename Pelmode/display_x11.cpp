// X11 display through RandR 1.3 over xcb: xcb hands every request's error back
// to the caller, where Xlib's default handlers would print and exit.
#include <cstdlib>
#include <limits>

#include "linux_displays.h"
#include "x11_configuration.h"
#include "x11_plan.h"

namespace pelmode {
namespace {

using namespace x11;

class Connection {
 public:
  explicit Connection(const char* name)
      : connection_(xcb_connect(name, &screen_number_)) {}
  ~Connection() { xcb_disconnect(connection_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  xcb_connection_t* get() const { return connection_; }
  int screen_number() const { return screen_number_; }

 private:
  int screen_number_ = 0;  // written by xcb_connect, so declared first
  xcb_connection_t* connection_;
};

// Keeps other clients from seeing the screen and the CRTCs half changed.
class ServerGrab {
 public:
  explicit ServerGrab(xcb_connection_t* connection) : connection_(connection) {
    xcb_grab_server(connection_);
  }
  ~ServerGrab() {
    xcb_ungrab_server(connection_);
    xcb_flush(connection_);
  }
  ServerGrab(const ServerGrab&) = delete;
  ServerGrab& operator=(const ServerGrab&) = delete;

 private:
  xcb_connection_t* connection_;
};

bool HasXwaylandName(const Snapshot& snap, std::size_t output) {
  return snap.OutputName(output).rfind("XWAYLAND", 0) == 0;
}

class X11Display final : public Display {
 public:
  X11Display();
  std::optional<DisplayMode> QueryCurrentMode() override;
  ApplyResult ApplyMode(std::uint32_t width_px,
                        std::uint32_t height_px) override;

 private:
  ApplyError Connect(const char* name);
  ApplyError CheckRandr();
  bool IsWaylandSession(const Snapshot& snap, const Target& target);
  ApplyError SetScreenSize(ScreenSize size);
  ApplyResult Change(const Snapshot& snap, std::uint32_t width_px,
                     std::uint32_t height_px);
  ApplyError SetCrtc(const Snapshot& snap, const CrtcChange& change);
  ApplyError Carry(const Snapshot& snap, const Plan& plan);
  void Restore(const Snapshot& snap, const std::vector<CrtcChange>& made);

  std::optional<Connection> connection_;
  // The configuration the query read, kept for the change.
  std::optional<Snapshot> read_;
  ApplyError open_error_ = ApplyError::kNone;
  std::string display_name_;
  xcb_window_t root_ = XCB_NONE;
  ScreenSize reference_px_;  // with reference_mm_, the screen's DPI
  ScreenSize reference_mm_;
  // Exists only where some client made it, as Xwayland does.
  xcb_atom_t emulation_atom_ = XCB_NONE;
};

X11Display::X11Display() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') {
    open_error_ = name ? ApplyError::kDisplayEmpty : ApplyError::kDisplayUnset;
    return;
  }
  display_name_ = name;
  open_error_ = Connect(name);
  if (open_error_ == ApplyError::kNone) open_error_ = CheckRandr();
}

ApplyError X11Display::Connect(const char* name) {
  connection_.emplace(name);
  xcb_connection_t* c = connection_->get();
  if (xcb_connection_has_error(c)) return ApplyError::kCannotOpenDisplay;
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < connection_->screen_number() && it.rem > 0; ++i) {
    xcb_screen_next(&it);
  }
  if (it.rem == 0) return ApplyError::kCannotOpenDisplay;  // no such screen
  root_ = it.data->root;
  reference_px_ = {it.data->width_in_pixels, it.data->height_in_pixels};
  reference_mm_ = {it.data->width_in_millimeters,
                   it.data->height_in_millimeters};
  return ApplyError::kNone;
}

ApplyError X11Display::CheckRandr() {
  xcb_connection_t* c = connection_->get();
  const xcb_query_extension_reply_t* extension =
      xcb_get_extension_data(c, &xcb_randr_id);
  if (extension == nullptr || !extension->present) {
    return xcb_connection_has_error(c) ? ApplyError::kConnectionLost
                                       : ApplyError::kNoRandr;
  }
  static constexpr char kEmulation[] = "RANDR Emulation";
  const auto atom_cookie =
      xcb_intern_atom(c, 1, sizeof kEmulation - 1, kEmulation);
  ApplyError error = ApplyError::kNone;
  const auto version = TakeReply(c, xcb_randr_query_version_reply,
                                 xcb_randr_query_version(c, 1, 3), &error);
  if (const auto atom = TakeReply(c, xcb_intern_atom_reply, atom_cookie, &error)) {
    emulation_atom_ = atom->atom;
  }
  if (!version) return error;
  // The change reads the configuration without re-probing the monitors,
  // which takes RRGetScreenResourcesCurrent, new in 1.3.
  const bool current = version->major_version > 1 ||
                       (version->major_version == 1 && version->minor_version >= 3);
  return current ? ApplyError::kNone : ApplyError::kNoRandr;
}

std::optional<DisplayMode> X11Display::QueryCurrentMode() {
  if (open_error_ != ApplyError::kNone) return std::nullopt;
  ApplyError error = ApplyError::kNone;
  Snapshot snap = LoadSnapshot(connection_->get(), root_, &error);
  if (error != ApplyError::kNone) return std::nullopt;
  const std::optional<Target> target = FindTarget(snap);
  if (!target) return std::nullopt;
  const std::optional<DisplayMode> mode = CurrentModeOf(snap, target->crtc);
  read_ = std::move(snap);
  return mode;
}

// The configuration the query read is used if it still holds under the
// grab: checking that costs one round trip, reading it again two and a
// request for every output and CRTC.
ApplyResult X11Display::ApplyMode(std::uint32_t width_px,
                                  std::uint32_t height_px) {
  if (open_error_ != ApplyError::kNone) return {open_error_, display_name_};
  xcb_connection_t* c = connection_->get();
  const ServerGrab grab(c);
  ApplyError error = ApplyError::kNone;
  if (!read_ || !StillCurrent(c, root_, *read_, &error)) {
    if (error == ApplyError::kNone) read_ = LoadSnapshot(c, root_, &error);
    if (error != ApplyError::kNone) return {error, {}};
  }
  return Change(*read_, width_px, height_px);
}

ApplyResult X11Display::Change(const Snapshot& snap, std::uint32_t width_px,
                               std::uint32_t height_px) {
  const std::optional<Target> target = FindTarget(snap);
  if (!target) return {ApplyError::kNoActiveOutput, {}};
  if (IsWaylandSession(snap, *target)) return {ApplyError::kWaylandSession, {}};
  Plan plan;
  const ApplyResult planned = PlanChange(snap, *target, width_px, height_px, &plan);
  if (!planned.ok()) return planned;
  return {Carry(snap, plan), {}};
}

ApplyError X11Display::SetScreenSize(ScreenSize size) {
  constexpr std::uint32_t kMaxSide = std::numeric_limits<std::uint16_t>::max();
  if (size.width_px > kMaxSide || size.height_px > kMaxSide) {
    return ApplyError::kServerRefused;
  }
  xcb_connection_t* c = connection_->get();
  const auto mm_width = MillimetresAtSameDpi(
      size.width_px, reference_px_.width_px, reference_mm_.width_px);
  const auto mm_height = MillimetresAtSameDpi(
      size.height_px, reference_px_.height_px, reference_mm_.height_px);
  return CheckRequest(
      c, xcb_randr_set_screen_size_checked(
             c, root_, std::uint16_t(size.width_px),
             std::uint16_t(size.height_px), mm_width, mm_height));
}

// Xwayland only pretends to change modes, for the asking client alone and
// until it exits; it names its outputs XWAYLAND… and marks them with the
// "RANDR Emulation" property.
bool X11Display::IsWaylandSession(const Snapshot& snap, const Target& target) {
  for (std::size_t i = 0; i < snap.outputs.size(); ++i) {
    if (HasXwaylandName(snap, i)) return true;
  }
  if (emulation_atom_ == XCB_NONE) return false;
  xcb_connection_t* c = connection_->get();
  ApplyError error = ApplyError::kNone;
  const auto property = TakeReply(
      c, xcb_randr_get_output_property_reply,
      xcb_randr_get_output_property(c, snap.OutputId(target.output),
                                    emulation_atom_, XCB_ATOM_ANY, 0, 1, 0, 0),
      &error);
  return property && property->type != XCB_NONE;
}

ApplyError X11Display::SetCrtc(const Snapshot& snap, const CrtcChange& change) {
  xcb_connection_t* c = connection_->get();
  const CrtcReply& crtc = *snap.crtcs[change.crtc];
  ApplyError error = ApplyError::kNone;
  const auto reply = TakeReply(
      c, xcb_randr_set_crtc_config_reply,
      xcb_randr_set_crtc_config(
          c, snap.CrtcId(change.crtc), XCB_CURRENT_TIME, snap.resources->config_timestamp,
          std::int16_t(change.x), std::int16_t(change.y), change.mode, crtc.rotation,
          crtc.num_outputs, xcb_randr_get_crtc_info_outputs(&crtc)),
      &error);
  if (reply && reply->status != XCB_RANDR_SET_CONFIG_SUCCESS) {
    return ApplyError::kServerRefused;
  }
  return error;
}

// Grows the screen before the CRTCs change and shrinks it after, so the
// screen always holds every active CRTC. Any step that fails puts back what
// the steps before it changed.
ApplyError X11Display::Carry(const Snapshot& snap, const Plan& plan) {
  const ScreenSize covering = CoveringScreen(snap.screen, plan.screen);
  if (covering != snap.screen) {
    if (const ApplyError e = SetScreenSize(covering); e != ApplyError::kNone) {
      return e;
    }
  }
  std::vector<CrtcChange> made;
  for (const CrtcChange& change : plan.changes) {
    made.push_back(change);
    if (const ApplyError e = SetCrtc(snap, change); e != ApplyError::kNone) {
      Restore(snap, made);
      return e;
    }
  }
  if (covering == plan.screen) return ApplyError::kNone;
  const ApplyError e = SetScreenSize(plan.screen);
  if (e != ApplyError::kNone) Restore(snap, made);
  return e;
}

// Best effort: a step has failed already, and its error is the one reported.
void X11Display::Restore(const Snapshot& snap,
                         const std::vector<CrtcChange>& made) {
  for (const CrtcChange& change : made) {
    SetCrtc(snap, UnchangedCrtc(snap, change.crtc));
  }
  SetScreenSize(snap.screen);
}

}  // namespace

std::unique_ptr<Display> OpenX11Display() { return std::make_unique<X11Display>(); }

}  // namespace pelmode
