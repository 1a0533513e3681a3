// X11 display through RandR 1.3 over xcb: xcb hands every request's error back
// to the caller, where Xlib's default handlers would print and exit.
#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <limits>
#include <type_traits>
#include <vector>

#include "mode_choice.h"
#include "platform.h"
#include "screen_layout.h"

namespace pelmode {
namespace {

struct FreeDeleter {
  void operator()(void* memory) const { std::free(memory); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

using ResourcesReply = xcb_randr_get_screen_resources_current_reply_t;
using OutputReply = xcb_randr_get_output_info_reply_t;
using CrtcReply = xcb_randr_get_crtc_info_reply_t;

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

// Keeps other clients from seeing the screen and the CRTC half changed.
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

ApplyError RequestError(xcb_connection_t* connection,
                        xcb_generic_error_t* error) {
  std::free(error);
  return xcb_connection_has_error(connection) ? ApplyError::kConnectionLost
                                              : ApplyError::kServerRefused;
}

// Collects one reply; the first failure of a batch is the one kept.
template <typename ReplyFunction, typename Cookie>
auto TakeReply(xcb_connection_t* connection, ReplyFunction reply_function,
               Cookie cookie, ApplyError* first_error) {
  xcb_generic_error_t* error = nullptr;
  using T = std::remove_pointer_t<decltype(reply_function(connection, cookie,
                                                          &error))>;
  Reply<T> reply(reply_function(connection, cookie, &error));
  if (!reply && *first_error == ApplyError::kNone) {
    *first_error = RequestError(connection, error);
  } else {
    std::free(error);
  }
  return reply;
}

ApplyError CheckRequest(xcb_connection_t* connection,
                        xcb_void_cookie_t cookie) {
  xcb_generic_error_t* error = xcb_request_check(connection, cookie);
  if (!error && !xcb_connection_has_error(connection)) return ApplyError::kNone;
  return RequestError(connection, error);
}

// The server's configuration as one consistent set of replies.
struct Snapshot {
  Reply<ResourcesReply> resources;
  std::vector<Reply<OutputReply>> outputs;  // in the server's output order
  std::vector<Reply<CrtcReply>> crtcs;      // in the server's CRTC order
  xcb_randr_output_t primary = XCB_NONE;
  ScreenSize screen;
};

// Collects the replies of a batch of info requests. A reply whose status is
// not success means the configuration changed while the batch was asked.
template <typename T, typename ReplyFunction, typename Cookie>
void TakeInfoReplies(xcb_connection_t* c, ReplyFunction reply_function,
                     const std::vector<Cookie>& cookies,
                     std::vector<Reply<T>>* replies, ApplyError* error) {
  for (const Cookie& cookie : cookies) {
    replies->push_back(TakeReply(c, reply_function, cookie, error));
    const Reply<T>& reply = replies->back();
    if (reply && reply->status != XCB_RANDR_SET_CONFIG_SUCCESS &&
        *error == ApplyError::kNone) {
      *error = ApplyError::kServerRefused;
    }
  }
}

Snapshot LoadSnapshot(xcb_connection_t* c, xcb_window_t root,
                      ApplyError* error) {
  Snapshot snap;
  snap.resources = TakeReply(c, xcb_randr_get_screen_resources_current_reply,
                             xcb_randr_get_screen_resources_current(c, root),
                             error);
  if (!snap.resources) return snap;
  const ResourcesReply* res = snap.resources.get();
  // Every request goes out before the first reply is awaited.
  const auto primary_cookie = xcb_randr_get_output_primary(c, root);
  const auto geometry_cookie = xcb_get_geometry(c, root);
  std::vector<xcb_randr_get_output_info_cookie_t> output_cookies;
  const xcb_randr_output_t* outputs =
      xcb_randr_get_screen_resources_current_outputs(res);
  for (int i = 0; i < res->num_outputs; ++i) {
    output_cookies.push_back(
        xcb_randr_get_output_info(c, outputs[i], res->config_timestamp));
  }
  std::vector<xcb_randr_get_crtc_info_cookie_t> crtc_cookies;
  const xcb_randr_crtc_t* crtcs =
      xcb_randr_get_screen_resources_current_crtcs(res);
  for (int i = 0; i < res->num_crtcs; ++i) {
    crtc_cookies.push_back(
        xcb_randr_get_crtc_info(c, crtcs[i], res->config_timestamp));
  }

  if (auto primary = TakeReply(c, xcb_randr_get_output_primary_reply,
                               primary_cookie, error)) {
    snap.primary = primary->output;
  }
  if (auto geometry =
          TakeReply(c, xcb_get_geometry_reply, geometry_cookie, error)) {
    snap.screen = {geometry->width, geometry->height};
  }
  TakeInfoReplies(c, xcb_randr_get_output_info_reply, output_cookies,
                  &snap.outputs, error);
  TakeInfoReplies(c, xcb_randr_get_crtc_info_reply, crtc_cookies, &snap.crtcs,
                  error);
  return snap;
}

// The output Pelmode acts on and the CRTC that drives it.
struct Target {
  std::size_t output;
  std::size_t crtc;
};

std::optional<std::size_t> ActiveCrtcOf(const Snapshot& snap,
                                        const OutputReply& output) {
  if (output.crtc == XCB_NONE) return std::nullopt;
  const xcb_randr_crtc_t* crtcs =
      xcb_randr_get_screen_resources_current_crtcs(snap.resources.get());
  for (std::size_t i = 0; i < snap.crtcs.size(); ++i) {
    if (crtcs[i] == output.crtc && snap.crtcs[i]->mode != XCB_NONE) return i;
  }
  return std::nullopt;
}

std::optional<Target> FindTarget(const Snapshot& snap) {
  const xcb_randr_output_t* ids =
      xcb_randr_get_screen_resources_current_outputs(snap.resources.get());
  for (std::size_t i = 0; i < snap.outputs.size(); ++i) {
    if (ids[i] != snap.primary) continue;
    if (auto crtc = ActiveCrtcOf(snap, *snap.outputs[i])) return Target{i, *crtc};
  }
  for (std::size_t i = 0; i < snap.outputs.size(); ++i) {
    if (snap.outputs[i]->connection != XCB_RANDR_CONNECTION_CONNECTED) continue;
    if (auto crtc = ActiveCrtcOf(snap, *snap.outputs[i])) return Target{i, *crtc};
  }
  return std::nullopt;
}

const xcb_randr_mode_info_t* FindModeInfo(const ResourcesReply& res,
                                          xcb_randr_mode_t id) {
  const xcb_randr_mode_info_t* modes =
      xcb_randr_get_screen_resources_current_modes(&res);
  for (int i = 0; i < res.num_modes; ++i) {
    if (modes[i].id == id) return &modes[i];
  }
  return nullptr;
}

bool IsQuarterTurn(std::uint16_t rotation) {
  return (rotation & (XCB_RANDR_ROTATION_ROTATE_90 |
                      XCB_RANDR_ROTATION_ROTATE_270)) != 0;
}

// The mode as the CRTC shows it on screen.
DisplayMode OnScreenMode(const xcb_randr_mode_info_t& mode,
                         std::uint16_t rotation) {
  const ModeTiming timing{mode.dot_clock, mode.htotal, mode.vtotal,
                          (mode.mode_flags & XCB_RANDR_MODE_FLAG_INTERLACE) != 0,
                          (mode.mode_flags & XCB_RANDR_MODE_FLAG_DOUBLE_SCAN) != 0};
  const bool turned = IsQuarterTurn(rotation);
  return {turned ? mode.height : mode.width, turned ? mode.width : mode.height,
          RefreshRateHz(timing)};
}

std::optional<DisplayMode> CurrentModeOf(const Snapshot& snap,
                                         const Target& target) {
  const CrtcReply& crtc = *snap.crtcs[target.crtc];
  const xcb_randr_mode_info_t* info = FindModeInfo(*snap.resources, crtc.mode);
  if (!info) return std::nullopt;
  return OnScreenMode(*info, crtc.rotation);
}

// The output's modes, each with its id, as the CRTC would show them.
struct OfferedModes {
  std::vector<ModeCandidate> candidates;
  std::vector<xcb_randr_mode_t> ids;
};

OfferedModes ModesOffered(const Snapshot& snap, const Target& target) {
  OfferedModes offered;
  const OutputReply& output = *snap.outputs[target.output];
  const xcb_randr_mode_t* ids = xcb_randr_get_output_info_modes(&output);
  const std::uint16_t rotation = snap.crtcs[target.crtc]->rotation;
  for (int i = 0; i < output.num_modes; ++i) {
    const xcb_randr_mode_info_t* info = FindModeInfo(*snap.resources, ids[i]);
    if (!info) continue;
    const DisplayMode mode = OnScreenMode(*info, rotation);
    const bool progressive =
        (info->mode_flags & (XCB_RANDR_MODE_FLAG_INTERLACE |
                             XCB_RANDR_MODE_FLAG_DOUBLE_SCAN)) == 0;
    offered.candidates.push_back(
        {mode.width_px, mode.height_px, mode.refresh_hz, progressive});
    offered.ids.push_back(ids[i]);
  }
  return offered;
}

std::vector<Area> ActiveAreas(const Snapshot& snap) {
  std::vector<Area> areas;
  for (const auto& crtc : snap.crtcs) {
    if (crtc->mode == XCB_NONE) {
      areas.push_back({});  // inactive: covers nothing
    } else {
      areas.push_back({crtc->x, crtc->y, crtc->width, crtc->height});
    }
  }
  return areas;
}

// One CRTC's new place and mode; its rotation and outputs stay.
struct CrtcChange {
  std::size_t crtc;
  std::int32_t x;
  std::int32_t y;
  xcb_randr_mode_t mode;
};

CrtcChange UnchangedCrtc(const Snapshot& snap, std::size_t crtc) {
  const CrtcReply& info = *snap.crtcs[crtc];
  return {crtc, info.x, info.y, info.mode};
}

// The target takes its new mode first, then the neighbours move aside.
std::vector<CrtcChange> PlanCrtcChanges(const Snapshot& snap,
                                        const Target& target,
                                        xcb_randr_mode_t mode,
                                        const std::vector<Area>& before,
                                        const std::vector<Area>& after) {
  std::vector<CrtcChange> changes = {
      {target.crtc, after[target.crtc].x, after[target.crtc].y, mode}};
  for (std::size_t i = 0; i < after.size(); ++i) {
    if (i == target.crtc || after[i] == before[i]) continue;
    changes.push_back({i, after[i].x, after[i].y, snap.crtcs[i]->mode});
  }
  return changes;
}

bool HasXwaylandName(const OutputReply& output) {
  static constexpr char kPrefix[] = "XWAYLAND";
  const int length = xcb_randr_get_output_info_name_length(&output);
  const std::string name(
      reinterpret_cast<const char*>(xcb_randr_get_output_info_name(&output)),
      std::size_t(length));
  return name.rfind(kPrefix, 0) == 0;
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
  ApplyError SetCrtc(const Snapshot& snap, const CrtcChange& change);
  void Restore(const Snapshot& snap, const std::vector<CrtcChange>& made,
               ScreenSize screen);
  ApplyError SetMode(const Snapshot& snap, const Target& target,
                     xcb_randr_mode_t mode, std::uint32_t width_px,
                     std::uint32_t height_px);

  std::optional<Connection> connection_;
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
    open_error_ = ApplyError::kNoDisplaySet;
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
  const Snapshot snap = LoadSnapshot(connection_->get(), root_, &error);
  if (error != ApplyError::kNone) return std::nullopt;
  const std::optional<Target> target = FindTarget(snap);
  if (!target) return std::nullopt;
  return CurrentModeOf(snap, *target);
}

ApplyResult X11Display::ApplyMode(std::uint32_t width_px,
                                  std::uint32_t height_px) {
  if (open_error_ != ApplyError::kNone) return {open_error_, display_name_};
  xcb_connection_t* c = connection_->get();
  const ServerGrab grab(c);
  ApplyError error = ApplyError::kNone;
  const Snapshot snap = LoadSnapshot(c, root_, &error);
  if (error != ApplyError::kNone) return {error, {}};
  const std::optional<Target> target = FindTarget(snap);
  if (!target) return {ApplyError::kNoActiveOutput, {}};
  if (IsWaylandSession(snap, *target)) return {ApplyError::kWaylandSession, {}};

  const std::optional<DisplayMode> current = CurrentModeOf(snap, *target);
  const OfferedModes offered = ModesOffered(snap, *target);
  const auto choice = ChooseMode(offered.candidates, width_px, height_px,
                                 current ? current->refresh_hz : 0);
  if (!choice) return {ApplyError::kModeNotOffered, {}};
  return {SetMode(snap, *target, offered.ids[*choice], width_px, height_px),
          {}};
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
  for (const auto& output : snap.outputs) {
    if (HasXwaylandName(*output)) return true;
  }
  if (emulation_atom_ == XCB_NONE) return false;
  xcb_connection_t* c = connection_->get();
  ApplyError error = ApplyError::kNone;
  const xcb_randr_output_t output =
      xcb_randr_get_screen_resources_current_outputs(
          snap.resources.get())[target.output];
  const auto property = TakeReply(
      c, xcb_randr_get_output_property_reply,
      xcb_randr_get_output_property(c, output, emulation_atom_, XCB_ATOM_ANY, 0, 1,
                                    0, 0),
      &error);
  return property && property->type != XCB_NONE;
}

ApplyError X11Display::SetCrtc(const Snapshot& snap, const CrtcChange& change) {
  xcb_connection_t* c = connection_->get();
  const CrtcReply& crtc = *snap.crtcs[change.crtc];
  const xcb_randr_crtc_t id = xcb_randr_get_screen_resources_current_crtcs(
      snap.resources.get())[change.crtc];
  ApplyError error = ApplyError::kNone;
  const auto reply = TakeReply(
      c, xcb_randr_set_crtc_config_reply,
      xcb_randr_set_crtc_config(
          c, id, XCB_CURRENT_TIME, snap.resources->config_timestamp,
          std::int16_t(change.x), std::int16_t(change.y), change.mode,
          crtc.rotation, crtc.num_outputs, xcb_randr_get_crtc_info_outputs(&crtc)),
      &error);
  if (reply && reply->status != XCB_RANDR_SET_CONFIG_SUCCESS) {
    return ApplyError::kServerRefused;
  }
  return error;
}

// Best effort after a failure: puts back the CRTCs already changed and the
// screen size, so a refused change leaves the desktop as it was.
void X11Display::Restore(const Snapshot& snap,
                         const std::vector<CrtcChange>& made,
                         ScreenSize screen) {
  for (const CrtcChange& change : made) {
    SetCrtc(snap, UnchangedCrtc(snap, change.crtc));
  }
  if (screen != snap.screen) SetScreenSize(snap.screen);
}

// Grows the screen before the CRTCs change and shrinks it after, so the
// screen always holds every active CRTC.
ApplyError X11Display::SetMode(const Snapshot& snap, const Target& target,
                               xcb_randr_mode_t mode, std::uint32_t width_px,
                               std::uint32_t height_px) {
  const std::vector<Area> before = ActiveAreas(snap);
  const std::vector<Area> after =
      ResizedLayout(before, target.crtc, width_px, height_px);
  const ScreenSize final_screen = BoundingScreen(after);
  const ScreenSize covering = CoveringScreen(snap.screen, final_screen);
  if (covering != snap.screen) {
    if (const ApplyError e = SetScreenSize(covering); e != ApplyError::kNone) {
      return e;
    }
  }
  const std::vector<CrtcChange> changes =
      PlanCrtcChanges(snap, target, mode, before, after);
  for (std::size_t i = 0; i < changes.size(); ++i) {
    if (const ApplyError e = SetCrtc(snap, changes[i]); e != ApplyError::kNone) {
      Restore(snap, {changes.begin(), changes.begin() + long(i)}, covering);
      return e;
    }
  }
  return covering != final_screen ? SetScreenSize(final_screen)
                                   : ApplyError::kNone;
}

}  // namespace

std::unique_ptr<Display> OpenDisplay() { return std::make_unique<X11Display>(); }

}  // namespace pelmode
