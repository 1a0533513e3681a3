#include "x11_configuration.h"

#include <poll.h>

#include <cerrno>

#include "deadline.h"

namespace pelmode::x11 {
namespace {

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
      *error = ApplyError::kOutputsChanged;
    }
  }
}

// Every request goes out before the first reply is awaited.
struct Cookies {
  xcb_randr_get_output_primary_cookie_t primary;
  xcb_get_geometry_cookie_t geometry;
  xcb_randr_get_screen_size_range_cookie_t size_range;
  std::vector<xcb_randr_get_output_info_cookie_t> outputs;
  std::vector<xcb_randr_get_crtc_info_cookie_t> crtcs;
  std::vector<xcb_randr_get_panning_cookie_t> pannings;
  xcb_get_property_cookie_t memory;
};

// Where a layout memory is longer than this, it is not Pelmode's.
constexpr std::uint32_t kMemoryWords = 16384;

Cookies AskForDetails(xcb_connection_t* c, xcb_window_t root, xcb_atom_t memory_atom,
                      const ResourcesReply* res) {
  Cookies cookies = {xcb_randr_get_output_primary(c, root),
                     xcb_get_geometry(c, root),
                     xcb_randr_get_screen_size_range(c, root),
                     {},
                     {},
                     {},
                     xcb_get_property(c, 0, root, memory_atom, XCB_ATOM_STRING, 0, kMemoryWords)};
  const xcb_randr_output_t* outputs =
      xcb_randr_get_screen_resources_current_outputs(res);
  for (int i = 0; i < res->num_outputs; ++i) {
    cookies.outputs.push_back(
        xcb_randr_get_output_info(c, outputs[i], res->config_timestamp));
  }
  const xcb_randr_crtc_t* crtcs =
      xcb_randr_get_screen_resources_current_crtcs(res);
  for (int i = 0; i < res->num_crtcs; ++i) {
    cookies.crtcs.push_back(
        xcb_randr_get_crtc_info(c, crtcs[i], res->config_timestamp));
    cookies.pannings.push_back(xcb_randr_get_panning(c, crtcs[i]));
  }
  return cookies;
}

}  // namespace

ApplyError RequestError(xcb_connection_t* connection,
                        xcb_generic_error_t* error) {
  std::free(error);
  return xcb_connection_has_error(connection) ? ApplyError::kConnectionLost
                                              : ApplyError::kServerRefused;
}

void* AwaitReply(xcb_connection_t* connection, unsigned int sequence,
                 xcb_generic_error_t** error, ApplyError* failure) {
  xcb_flush(connection);
  const Deadline deadline;
  for (;;) {
    void* reply = nullptr;
    if (xcb_poll_for_reply(connection, sequence, &reply, error)) return reply;
    if (xcb_connection_has_error(connection)) break;
    pollfd fd = {xcb_get_file_descriptor(connection), POLLIN, 0};
    const int ready = poll(&fd, 1, deadline.RemainingMs());
    if (ready == 0) {
      *failure = ApplyError::kNoAnswer;
      return nullptr;
    }
    if (ready < 0 && errno != EINTR) break;
  }
  *failure = ApplyError::kConnectionLost;
  return nullptr;
}

// A request without a reply is known to be done once a later one is
// answered; then xcb_request_check no longer waits.
ApplyError CheckRequest(xcb_connection_t* connection,
                        xcb_void_cookie_t cookie) {
  ApplyError failure = ApplyError::kNone;
  const auto sync = TakeReply(connection, xcb_get_input_focus_reply,
                              xcb_get_input_focus(connection), &failure);
  if (failure != ApplyError::kNone) return failure;
  return CheckAnswered(connection, cookie);
}

ApplyError CheckAnswered(xcb_connection_t* connection, xcb_void_cookie_t cookie) {
  xcb_generic_error_t* error = xcb_request_check(connection, cookie);
  if (!error && !xcb_connection_has_error(connection)) return ApplyError::kNone;
  return RequestError(connection, error);
}

xcb_randr_output_t Snapshot::OutputId(std::size_t output) const {
  return xcb_randr_get_screen_resources_current_outputs(resources.get())[output];
}

xcb_randr_crtc_t Snapshot::CrtcId(std::size_t crtc) const {
  return xcb_randr_get_screen_resources_current_crtcs(resources.get())[crtc];
}

std::string Snapshot::OutputName(std::size_t output) const {
  const OutputReply* info = outputs[output].get();
  return std::string(
      reinterpret_cast<const char*>(xcb_randr_get_output_info_name(info)),
      std::size_t(xcb_randr_get_output_info_name_length(info)));
}

std::optional<std::size_t> Snapshot::OutputIndex(xcb_randr_output_t id) const {
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (OutputId(i) == id) return i;
  }
  return std::nullopt;
}

Snapshot LoadSnapshot(xcb_connection_t* c, xcb_window_t root, xcb_atom_t memory_atom,
                      xcb_randr_get_screen_resources_current_cookie_t resources,
                      ApplyError* error) {
  Snapshot snap;
  snap.resources = TakeReply(c, xcb_randr_get_screen_resources_current_reply, resources, error);
  if (!snap.resources) return snap;
  const Cookies cookies = AskForDetails(c, root, memory_atom, snap.resources.get());
  if (auto primary = TakeReply(c, xcb_randr_get_output_primary_reply,
                               cookies.primary, error)) {
    snap.primary = primary->output;
  }
  if (auto geometry =
          TakeReply(c, xcb_get_geometry_reply, cookies.geometry, error)) {
    snap.screen = {geometry->width, geometry->height};
  }
  if (auto range = TakeReply(c, xcb_randr_get_screen_size_range_reply,
                             cookies.size_range, error)) {
    snap.min_screen = {range->min_width, range->min_height};
    snap.max_screen = {range->max_width, range->max_height};
  }
  TakeInfoReplies(c, xcb_randr_get_output_info_reply, cookies.outputs,
                  &snap.outputs, error);
  TakeInfoReplies(c, xcb_randr_get_crtc_info_reply, cookies.crtcs, &snap.crtcs,
                  error);
  TakeInfoReplies(c, xcb_randr_get_panning_reply, cookies.pannings, &snap.pannings, error);
  if (auto memory = TakeReply(c, xcb_get_property_reply, cookies.memory, error)) {
    if (memory->type == XCB_ATOM_STRING && memory->format == 8 && memory->bytes_after == 0) {
      snap.memory.assign(static_cast<const char*>(xcb_get_property_value(memory.get())),
                         std::size_t(xcb_get_property_value_length(memory.get())));
    }
  }
  return snap;
}

bool StillCurrent(xcb_connection_t* c, xcb_window_t root, const Snapshot& snap,
                  ApplyError* error) {
  const auto resources_cookie = xcb_randr_get_screen_resources_current(c, root);
  const auto geometry_cookie = xcb_get_geometry(c, root);
  const auto resources = TakeReply(c, xcb_randr_get_screen_resources_current_reply,
                                   resources_cookie, error);
  const auto geometry = TakeReply(c, xcb_get_geometry_reply, geometry_cookie, error);
  return resources && geometry && resources->timestamp == snap.resources->timestamp &&
         resources->config_timestamp == snap.resources->config_timestamp &&
         geometry->width == snap.screen.width_px && geometry->height == snap.screen.height_px;
}

}  // namespace pelmode::x11
