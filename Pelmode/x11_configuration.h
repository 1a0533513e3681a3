// Reading the X server's RandR configuration over xcb: every reply owned,
// every error turned into an ApplyError.
#pragma once


#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "platform.h"
#include "screen_layout.h"
#include "x11_library.h"

namespace pelmode::x11 {

struct FreeDeleter {
  void operator()(void* memory) const { std::free(memory); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

using ResourcesReply = xcb_randr_get_screen_resources_current_reply_t;
using OutputReply = xcb_randr_get_output_info_reply_t;
using CrtcReply = xcb_randr_get_crtc_info_reply_t;
using PanningReply = xcb_randr_get_panning_reply_t;

// Frees the error; a lost connection is told from a refused request.
ApplyError RequestError(xcb_connection_t* connection, xcb_generic_error_t* error);

// Waits, until the deadline, for the answer to request `sequence`: the reply
// (or null and `error`), or null with `failure` set to kNoAnswer or
// kConnectionLost.
void* AwaitReply(xcb_connection_t* connection, unsigned int sequence,
                 xcb_generic_error_t** error, ApplyError* failure);

// Collects one reply; the first failure of a batch is the one kept, and
// after a server that did not answer nothing more is waited for.
template <typename ReplyFunction, typename Cookie>
auto TakeReply(xcb_connection_t* connection, ReplyFunction reply_function,
               Cookie cookie, ApplyError* first_error) {
  xcb_generic_error_t* error = nullptr;
  using T = std::remove_pointer_t<decltype(reply_function(connection, cookie,
                                                          &error))>;
  if (*first_error == ApplyError::kNoAnswer) return Reply<T>();
  ApplyError failure = ApplyError::kNone;
  Reply<T> reply(static_cast<T*>(AwaitReply(connection, cookie.sequence, &error, &failure)));
  if (failure != ApplyError::kNone) {
    *first_error = failure;
  } else if (!reply && *first_error == ApplyError::kNone) {
    *first_error = RequestError(connection, error);
  } else {
    std::free(error);
  }
  return reply;
}

// Waits, until the deadline, for the request's outcome.
ApplyError CheckRequest(xcb_connection_t* connection, xcb_void_cookie_t cookie);
// The outcome of a request sent before one already answered: never waits.
ApplyError CheckAnswered(xcb_connection_t* connection, xcb_void_cookie_t cookie);

// The server's configuration as one consistent set of replies.
struct Snapshot {
  Reply<ResourcesReply> resources;
  std::vector<Reply<OutputReply>> outputs;  // in the server's output order
  std::vector<Reply<CrtcReply>> crtcs;      // in the server's CRTC order
  std::vector<Reply<PanningReply>> pannings;  // one a CRTC
  xcb_randr_output_t primary = XCB_NONE;
  std::string memory;  // the layout of Pelmode's last change, kept on the root window
  ScreenSize screen;
  ScreenSize min_screen;
  ScreenSize max_screen;

  xcb_randr_output_t OutputId(std::size_t output) const;
  xcb_randr_crtc_t CrtcId(std::size_t crtc) const;
  std::string OutputName(std::size_t output) const;
  // The output's index, if the snapshot has it.
  std::optional<std::size_t> OutputIndex(xcb_randr_output_t id) const;
};

// Sets `error` when some part could not be read; the snapshot is then not
// to be used. `memory_atom` names the root window's property that keeps the
// layout memory; `resources` is the request for the screen resources, sent.
Snapshot LoadSnapshot(xcb_connection_t* c, xcb_window_t root, xcb_atom_t memory_atom,
                      xcb_randr_get_screen_resources_current_cookie_t resources,
                      ApplyError* error);

// Whether nothing has been set or reconfigured since `snap` was read, nor
// the screen resized.
bool StillCurrent(xcb_connection_t* c, xcb_window_t root, const Snapshot& snap,
                  ApplyError* error);

}  // namespace pelmode::x11
