// X11 display through RandR 1.3 over xcb: xcb hands every request's error back
// to the caller, where Xlib's default handlers would print and exit.
#include <cstdlib>
#include <limits>
#include <optional>
#include <vector>

#include "linux_displays.h"
#include "x11_configuration.h"
#include "x11_connection.h"
#include "x11_outputs.h"

namespace pelmode {
namespace {

using namespace x11;

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

// The root window property where the layout of the last change is kept: it
// lives as long as the server, and no other display sees it.
constexpr char kMemoryProperty[] = "_PELMODE_LAYOUT";

// The layout memory, kept on the root window.
class RootMemory final : public MemoryStore {
 public:
  RootMemory(xcb_connection_t* connection, xcb_window_t root, xcb_atom_t atom)
      : connection_(connection), root_(root), atom_(atom) {}
  void set_loaded(std::string memory) { loaded_ = std::move(memory); }
  std::string Load() override { return loaded_; }
  std::string Store(const std::string& memory) override;

 private:
  xcb_connection_t* connection_;
  xcb_window_t root_;
  xcb_atom_t atom_;
  std::string loaded_;
};

std::string RootMemory::Store(const std::string& memory) {
  const ApplyError error =
      atom_ == XCB_NONE ? ApplyError::kServerRefused
                        : CheckRequest(connection_, xcb_change_property_checked(
                                                        connection_, XCB_PROP_MODE_REPLACE, root_,
                                                        atom_, XCB_ATOM_STRING, 8,
                                                        std::uint32_t(memory.size()), memory.data()));
  if (error == ApplyError::kNone) return {};
  return "Pelmode: the display server did not keep the layout memory; the way back may not be exact.";
}

class X11Display final : public Backend {
 public:
  X11Display();
  std::string Name() const override { return display_name_; }
  ApplyResult Read(Reading* reading) override;
  ApplyResult Carry(const Reading& reading, const Plan& plan) override;
  MemoryStore& Memory() override { return memory_ ? *memory_ : NoMemory(); }

 private:
  ApplyResult Result(ApplyError error) const;
  ApplyError Connect(const char* name);
  ApplyError CheckRandr();
  bool IsEmulated(const Snapshot& snap, const std::vector<Output>& outputs);
  xcb_void_cookie_t AskScreenSize(ScreenSize size);
  ApplyError SetScreenSize(ScreenSize size);
  xcb_randr_set_crtc_config_cookie_t AskCrtc(const Snapshot& snap, const CrtcChange& change);
  xcb_randr_set_panning_cookie_t AskPanning(const Snapshot& snap, std::size_t crtc,
                                            const Area& area);
  ApplyError SetCrtc(const Snapshot& snap, const CrtcChange& change);
  ApplyError SetPanning(const Snapshot& snap, std::size_t crtc, const Area& area);
  ApplyError CarryRequests(const Snapshot& snap, const Requests& requests);
  void Restore(const Snapshot& snap, const Requests& requests);

  std::unique_ptr<Connection> connection_;
  // The configuration last read, kept for the change.
  std::optional<Snapshot> read_;
  Outputs outputs_;
  std::optional<RootMemory> memory_;
  ApplyError open_error_ = ApplyError::kNone;
  std::string display_name_;
  xcb_window_t root_ = XCB_NONE;
  ScreenSize reference_px_;  // with reference_mm_, the screen's DPI
  ScreenSize reference_mm_;
  // Exists only where some client made it, as Xwayland does.
  xcb_atom_t emulation_atom_ = XCB_NONE;
  xcb_atom_t memory_atom_ = XCB_NONE;
  // Asked for with the version, for the first read.
  std::optional<xcb_randr_get_screen_resources_current_cookie_t> resources_cookie_;
  // Once a change request is on its way, a server that stops answering may
  // still make it.
  bool asked_change_ = false;
};

// Only opened where DISPLAY is set.
X11Display::X11Display() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') {
    open_error_ = ApplyError::kDisplayEmpty;
    return;
  }
  display_name_ = name;
  if (LoadXcb() == nullptr) {
    open_error_ = ApplyError::kLibraryMissing;
    return;
  }
  open_error_ = Connect(name);
  if (open_error_ == ApplyError::kNone) open_error_ = CheckRandr();
  if (open_error_ == ApplyError::kNone) memory_.emplace(connection_->get(), root_, memory_atom_);
}

ApplyResult X11Display::Result(ApplyError error) const {
  switch (error) {
    case ApplyError::kNoAnswer:
      return {asked_change_ ? ApplyError::kNoAnswerAfterRequest : error,
              "the display server \"" + display_name_ + "\""};
    case ApplyError::kLibraryMissing:
      return {error, "libxcb-randr.so.0"};
    case ApplyError::kConnectionLost:
      return {asked_change_ ? ApplyError::kConnectionLostAfterRequest : error, {}};
    case ApplyError::kCannotOpenDisplay:
    case ApplyError::kNoSuchScreen:
    case ApplyError::kConnectionRefused:
      return {error, display_name_};
    default:
      return {error, {}};
  }
}

ApplyError X11Display::Connect(const char* name) {
  connection_ = Connection::Within(name);
  if (!connection_) return ApplyError::kNoAnswer;
  xcb_connection_t* c = connection_->get();
  switch (xcb_connection_has_error(c)) {
    case 0:
      break;
    case XCB_CONN_CLOSED_INVALID_SCREEN:
      return ApplyError::kNoSuchScreen;
    case XCB_CONN_ERROR:
      return LocalServerListens(name) ? ApplyError::kConnectionRefused
                                      : ApplyError::kCannotOpenDisplay;
    default:
      return ApplyError::kCannotOpenDisplay;
  }
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < connection_->screen_number() && it.rem > 0; ++i) {
    xcb_screen_next(&it);
  }
  if (it.rem == 0) return ApplyError::kNoSuchScreen;
  root_ = it.data->root;
  reference_px_ = {it.data->width_in_pixels, it.data->height_in_pixels};
  reference_mm_ = {it.data->width_in_millimeters,
                   it.data->height_in_millimeters};
  return ApplyError::kNone;
}

// The resources are asked for with the version, to be read by the query.
ApplyError X11Display::CheckRandr() {
  xcb_connection_t* c = connection_->get();
  // xcb_get_extension_data waits without a deadline: the answer it needs
  // comes before the atoms' answers.
  xcb_prefetch_extension_data(c, &xcb_randr_id);
  static constexpr char kEmulation[] = "RANDR Emulation";
  const auto atom_cookie =
      xcb_intern_atom(c, 1, sizeof kEmulation - 1, kEmulation);
  const auto memory_cookie =
      xcb_intern_atom(c, 0, sizeof kMemoryProperty - 1, kMemoryProperty);
  ApplyError error = ApplyError::kNone;
  if (const auto atom = TakeReply(c, xcb_intern_atom_reply, atom_cookie, &error)) {
    emulation_atom_ = atom->atom;
  }
  if (const auto atom = TakeReply(c, xcb_intern_atom_reply, memory_cookie, &error)) {
    memory_atom_ = atom->atom;
  }
  if (error != ApplyError::kNone) return error;
  const xcb_query_extension_reply_t* extension =
      xcb_get_extension_data(c, &xcb_randr_id);
  if (extension == nullptr || !extension->present) {
    return xcb_connection_has_error(c) ? ApplyError::kConnectionLost
                                       : ApplyError::kNoRandr;
  }
  const auto version_cookie = xcb_randr_query_version(c, 1, 3);
  resources_cookie_ = xcb_randr_get_screen_resources_current(c, root_);
  const auto version = TakeReply(c, xcb_randr_query_version_reply, version_cookie, &error);
  if (!version) return error;
  // The change reads the configuration without re-probing the monitors,
  // which takes RRGetScreenResourcesCurrent, new in 1.3.
  const bool current = version->major_version > 1 ||
                       (version->major_version == 1 && version->minor_version >= 3);
  return current ? ApplyError::kNone : ApplyError::kNoRandr;
}

ApplyResult X11Display::Read(Reading* reading) {
  if (open_error_ != ApplyError::kNone) return Result(open_error_);
  xcb_connection_t* c = connection_->get();
  ApplyError error = ApplyError::kNone;
  const auto resources =
      resources_cookie_ ? *resources_cookie_ : xcb_randr_get_screen_resources_current(c, root_);
  resources_cookie_.reset();
  Snapshot snap = LoadSnapshot(c, root_, memory_atom_, resources, &error);
  if (error != ApplyError::kNone) return Result(error);
  outputs_ = ReadOutputs(snap);
  reading->outputs = outputs_.outputs;
  // CRTC positions are 16-bit, and the screen starts at the origin.
  reading->limits = {0, std::numeric_limits<std::int16_t>::max(), snap.max_screen};
  reading->emulated = IsEmulated(snap, outputs_.outputs);
  memory_->set_loaded(snap.memory);
  read_ = std::move(snap);
  return {};
}

// The configuration read is used if it still holds under the grab.
ApplyResult X11Display::Carry(const Reading&, const Plan& plan) {
  xcb_connection_t* c = connection_->get();
  const ServerGrab grab(c);
  ApplyError error = ApplyError::kNone;
  if (!StillCurrent(c, root_, *read_, &error)) {
    return error == ApplyError::kNone ? ApplyResult{ApplyError::kOutputsChanged, {}} : Result(error);
  }
  Requests requests;
  const ApplyResult requested = RequestsFor(*read_, outputs_, plan, &requests);
  if (!requested.ok()) return requested;
  return Result(CarryRequests(*read_, requests));
}

bool FitsRequest(ScreenSize size) {
  constexpr std::uint32_t kMaxSide = std::numeric_limits<std::uint16_t>::max();
  return size.width_px <= kMaxSide && size.height_px <= kMaxSide;
}

xcb_void_cookie_t X11Display::AskScreenSize(ScreenSize size) {
  xcb_connection_t* c = connection_->get();
  asked_change_ = true;
  const auto mm_width = MillimetresAtSameDpi(
      size.width_px, reference_px_.width_px, reference_mm_.width_px);
  const auto mm_height = MillimetresAtSameDpi(
      size.height_px, reference_px_.height_px, reference_mm_.height_px);
  return xcb_randr_set_screen_size_checked(c, root_, std::uint16_t(size.width_px),
                                           std::uint16_t(size.height_px), mm_width, mm_height);
}

ApplyError X11Display::SetScreenSize(ScreenSize size) {
  if (!FitsRequest(size)) return ApplyError::kServerRefused;
  return CheckRequest(connection_->get(), AskScreenSize(size));
}

// Xwayland only pretends to change modes, for the asking client alone and
// until it exits; it names its outputs XWAYLAND… and marks them with the
// "RANDR Emulation" property.
bool X11Display::IsEmulated(const Snapshot& snap, const std::vector<Output>& outputs) {
  for (std::size_t i = 0; i < snap.outputs.size(); ++i) {
    if (HasXwaylandName(snap, i)) return true;
  }
  if (emulation_atom_ == XCB_NONE) return false;
  xcb_connection_t* c = connection_->get();
  ApplyError error = ApplyError::kNone;
  std::size_t shown = 0;
  while (shown + 1 < outputs.size() && !Shows(outputs[shown])) ++shown;
  std::size_t output = 0;
  while (output + 1 < snap.outputs.size() &&
         (shown >= outputs.size() || snap.OutputName(output) != outputs[shown].name)) {
    ++output;
  }
  const auto property = TakeReply(
      c, xcb_randr_get_output_property_reply,
      xcb_randr_get_output_property(c, snap.OutputId(output),
                                    emulation_atom_, XCB_ATOM_ANY, 0, 1, 0, 0),
      &error);
  return property && property->type != XCB_NONE;
}

xcb_randr_set_crtc_config_cookie_t X11Display::AskCrtc(const Snapshot& snap,
                                                      const CrtcChange& change) {
  asked_change_ = true;
  const CrtcReply& crtc = *snap.crtcs[change.crtc];
  return xcb_randr_set_crtc_config(
      connection_->get(), snap.CrtcId(change.crtc), XCB_CURRENT_TIME,
      snap.resources->config_timestamp, std::int16_t(change.x), std::int16_t(change.y),
      change.mode, crtc.rotation, crtc.num_outputs, xcb_randr_get_crtc_info_outputs(&crtc));
}

xcb_randr_set_panning_cookie_t X11Display::AskPanning(const Snapshot& snap, std::size_t crtc,
                                                      const Area& area) {
  const PanningReply& was = *snap.pannings[crtc];
  // The tracking area and the borders keep their place relative to it.
  const auto dx = std::int32_t(area.x) - was.left, dy = std::int32_t(area.y) - was.top;
  const auto track_left = was.track_width ? std::uint16_t(was.track_left + dx) : std::uint16_t(0);
  const auto track_top = was.track_height ? std::uint16_t(was.track_top + dy) : std::uint16_t(0);
  return xcb_randr_set_panning(
      connection_->get(), snap.CrtcId(crtc), XCB_CURRENT_TIME, std::uint16_t(area.x),
      std::uint16_t(area.y), std::uint16_t(area.width_px), std::uint16_t(area.height_px),
      track_left, track_top, was.track_width, was.track_height, was.border_left, was.border_top,
      was.border_right, was.border_bottom);
}

// The status of a CRTC or panning change, once its reply is in.
template <typename ReplyFunction, typename Cookie>
ApplyError SetStatus(xcb_connection_t* c, ReplyFunction reply_function, Cookie cookie) {
  ApplyError error = ApplyError::kNone;
  const auto reply = TakeReply(c, reply_function, cookie, &error);
  if (reply && reply->status != XCB_RANDR_SET_CONFIG_SUCCESS) return ApplyError::kServerRefused;
  return error;
}

ApplyError X11Display::SetCrtc(const Snapshot& snap, const CrtcChange& change) {
  return SetStatus(connection_->get(), xcb_randr_set_crtc_config_reply, AskCrtc(snap, change));
}

ApplyError X11Display::SetPanning(const Snapshot& snap, std::size_t crtc, const Area& area) {
  return SetStatus(connection_->get(), xcb_randr_set_panning_reply, AskPanning(snap, crtc, area));
}

// Every step is sent at once and answered together, in the order that
// keeps every active CRTC on the screen: the screen grown, the CRTCs, the
// screen at its size, and the pannings last, as the server shrinks every
// panning area with the screen. The first failure is the one reported, and
// then all that was sent is put back.
ApplyError X11Display::CarryRequests(const Snapshot& snap, const Requests& requests) {
  const ScreenSize covering = CoveringScreen(snap.screen, requests.screen);
  if (!FitsRequest(covering)) return ApplyError::kServerRefused;
  xcb_connection_t* c = connection_->get();
  std::optional<xcb_void_cookie_t> grown, shrunk;
  if (covering != snap.screen) grown = AskScreenSize(covering);
  std::vector<xcb_randr_set_crtc_config_cookie_t> crtcs;
  for (const CrtcChange& change : requests.changes) crtcs.push_back(AskCrtc(snap, change));
  if (covering != requests.screen) shrunk = AskScreenSize(requests.screen);
  std::vector<xcb_randr_set_panning_cookie_t> pannings;
  for (const PanningChange& p : requests.pannings) pannings.push_back(AskPanning(snap, p.crtc, p.area));
  const ApplyError answered = CheckRequest(c, xcb_no_operation_checked(c));
  if (answered == ApplyError::kNoAnswer || answered == ApplyError::kConnectionLost) return answered;
  ApplyError error = ApplyError::kNone;
  const auto keep_first = [&error](ApplyError e) { if (error == ApplyError::kNone) error = e; };
  if (grown) keep_first(CheckAnswered(c, *grown));
  for (const auto& cookie : crtcs) keep_first(SetStatus(c, xcb_randr_set_crtc_config_reply, cookie));
  if (shrunk) keep_first(CheckAnswered(c, *shrunk));
  for (const auto& cookie : pannings) keep_first(SetStatus(c, xcb_randr_set_panning_reply, cookie));
  if (error == ApplyError::kServerRefused) Restore(snap, requests);
  return error;
}

// Best effort: a step has failed already, and its error is the one reported.
// The screen may have been shrunk already, so it first holds both layouts.
void X11Display::Restore(const Snapshot& snap, const Requests& requests) {
  SetScreenSize(CoveringScreen(snap.screen, requests.screen));
  for (const CrtcChange& change : requests.changes) SetCrtc(snap, UnchangedCrtc(snap, change.crtc));
  SetScreenSize(snap.screen);
  for (std::size_t crtc = 0; crtc < snap.pannings.size(); ++crtc) {
    const PanningReply& panning = *snap.pannings[crtc];
    if (panning.width != 0 && panning.height != 0) {
      SetPanning(snap, crtc, {panning.left, panning.top, panning.width, panning.height});
    }
  }
}

}  // namespace

std::unique_ptr<Backend> OpenX11Display() { return std::make_unique<X11Display>(); }

}  // namespace pelmode
