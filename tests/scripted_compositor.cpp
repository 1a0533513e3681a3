// A Wayland compositor without screens for Pelmode's end-to-end tests: it
// describes the heads given on the command line through wlroots' or KDE's
// output protocols, answers each change as a script says, and logs what
// was asked and what became of the heads.
//
// Usage: scripted_compositor --socket NAME --protocol wlr|kde --log FILE
//          [--answers LIST] --head HEAD [--head HEAD...]
// HEAD: "NAME WxH@MHZ,WxH@MHZ... [current=I] [pos=X,Y] [scale=S]
//   [transform=T] [enabled=0|1]", words split by spaces or semicolons; the
//   first mode is the preferred one. With kde the first head is the primary.
// LIST: comma-separated answers, one per apply or test, the last repeated:
//   succeeded (or applied): the asked state is taken and every client told
//     of it, then comes the answer;
//   failed: nothing changes;
//   cancelled (wlr only): another client has moved the last head a pixel
//     to the right meanwhile: every client is told of it first;
//   silent: that apply is never answered, though every other request is;
//   die: the compositor exits at once with status 0, as a crash would.
// A wlr apply with a stale serial is cancelled and takes no answer.
// The log: "ready" once clients are taken; per apply "apply N ANSWER"
// ("test N ANSWER"; ANSWER "stale" for a stale serial), then "asked NAME
// FIELD=VALUE..." for each head it named, and after any change a line per
// head, "NAME WxH@MHZ+X+Y scale=S transform=T enabled=E"; "error TEXT" for
// a protocol error raised.
#include <unistd.h>
#include <wayland-server-core.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "kde-output-device-v2-server-protocol.h"
#include "kde-output-management-v2-server-protocol.h"
#include "kde-output-order-v1-server-protocol.h"
#include "wlr-output-management-unstable-v1-server-protocol.h"

namespace {

struct Mode {
  std::int32_t width = 0, height = 0, refresh = 0;
  bool operator!=(const Mode& o) const {
    return std::tie(width, height, refresh) != std::tie(o.width, o.height, o.refresh);
  }
};

struct State {
  Mode mode;
  std::int32_t x = 0, y = 0, transform = 0;
  double scale = 1;
  bool enabled = true, adaptive_sync = false;
  bool operator!=(const State& o) const {
    return mode != o.mode || std::tie(x, y, transform, scale, enabled, adaptive_sync) !=
                                 std::tie(o.x, o.y, o.transform, o.scale, o.enabled, o.adaptive_sync);
  }
};

struct Head {
  std::string name;
  std::vector<Mode> modes;  // only ever appended to: clients know them by place
  State state;
  std::size_t Find(const Mode& mode) const {
    std::size_t i = 0;
    while (i < modes.size() && modes[i] != mode) ++i;
    return i;
  }
};

// What a configuration asks of one head, and its fields for the log.
struct Asked {
  bool named = false;
  State next;
  std::map<std::string, std::string> fields;
};

enum Kind { kManager, kHead, kMode, kConfiguration, kConfigurationHead, kDevice, kOrder };

// Every resource made here. Those made under one that is destroyed are left
// without a parent, and requests on them do nothing.
struct Object {
  Object(Kind k, std::size_t h = 0, std::size_t i = 0, wl_resource* p = nullptr)
      : kind(k), head(h), index(i), parent(p) {}
  Kind kind;
  std::size_t head;
  std::size_t index;  // a mode's place in its head's list; for heads and devices, the modes announced
  wl_resource* parent;
  std::uint32_t serial = 0;
  bool used = false;
  std::vector<Asked> asked;  // a configuration's, a part per head
};

enum Answer { kSucceeded, kFailed, kCancelled, kSilent, kDie, kStale };
const char* const kAnswers[] = {"succeeded", "failed", "cancelled", "silent", "die", "stale"};

wl_display* display;
std::FILE* log_file;
bool kde;
std::vector<Head> heads;
std::map<wl_resource*, Object> objects;
std::vector<Answer> answers;
std::size_t answered = 0;
int applies = 0;
std::uint32_t serial = 0;  // of wlr's latest done

Object& Of(wl_resource* resource) { return objects.at(resource); }

void Forget(wl_resource* resource) {
  objects.erase(resource);
  for (auto& entry : objects) {
    if (entry.second.parent == resource) entry.second.parent = nullptr;
  }
}

wl_resource* Make(wl_client* client, const wl_interface* interface, int version, std::uint32_t id,
                  const void* implementation, Object object) {
  wl_resource* resource = wl_resource_create(client, interface, version, id);
  wl_resource_set_implementation(resource, implementation, nullptr, Forget);
  objects.emplace(resource, std::move(object));
  return resource;
}

std::vector<wl_resource*> All(Kind kind, wl_resource* parent = nullptr, std::size_t index = 0) {
  std::vector<wl_resource*> found;
  for (const auto& entry : objects) {
    const Object& o = entry.second;
    if (o.kind == kind && (parent == nullptr || (o.parent == parent && o.index == index))) {
      found.push_back(entry.first);
    }
  }
  return found;
}

void Log(const std::string& line) {
  std::fprintf(log_file, "%s\n", line.c_str());
  std::fflush(log_file);
}

// Raises the protocol error unless `ok`.
bool Check(wl_resource* resource, bool ok, std::uint32_t code, const char* text) {
  if (!ok) {
    Log(std::string("error ") + text);
    wl_resource_post_error(resource, code, "%s", text);
  }
  return ok;
}

std::string Text(const Mode& m) {
  return std::to_string(m.width) + "x" + std::to_string(m.height) + "@" + std::to_string(m.refresh);
}

std::string Text(double scale) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", scale);
  return text;
}

bool Changed(const std::vector<Head>& before) {
  for (std::size_t i = 0; i < heads.size(); ++i) {
    if (before[i].state != heads[i].state) return true;
  }
  return false;
}

// A configuration made by a wlr manager or KDE management, asking nothing yet.
void Configuration(wl_client* client, wl_resource* maker, std::uint32_t id, const wl_interface* interface,
                   const void* implementation, std::uint32_t client_serial) {
  Object configuration(kConfiguration, 0, 0, maker);
  configuration.serial = client_serial;
  configuration.asked.resize(heads.size());
  for (std::size_t i = 0; i < heads.size(); ++i) configuration.asked[i].next = heads[i].state;
  Make(client, interface, wl_resource_get_version(maker), id, implementation, configuration);
}

// Logs the apply or test and what it asked, then carries out the script's
// next answer, or cancels a stale one; the caller tells the clients.
Answer Apply(const char* what, std::vector<Asked>& asked, bool stale) {
  const Answer answer = stale ? kStale : answers[std::min(answered++, answers.size() - 1)];
  Log(what + (" " + std::to_string(++applies)) + " " +
      (kde && answer == kSucceeded ? "applied" : kAnswers[answer]));
  for (std::size_t i = 0; i < heads.size(); ++i) {
    std::string line = "asked " + heads[i].name;
    for (const auto& field : asked[i].fields) line += " " + field.first + "=" + field.second;
    if (asked[i].named) Log(line);
  }
  if (answer == kDie) _exit(0);
  const bool taken = answer == kSucceeded && std::strcmp(what, "apply") == 0;
  for (std::size_t i = 0; i < heads.size() && taken; ++i) {
    if (asked[i].named) heads[i].state = asked[i].next;
    if (heads[i].Find(heads[i].state.mode) == heads[i].modes.size()) {
      heads[i].modes.push_back(heads[i].state.mode);
    }
  }
  if (answer == kCancelled) heads.back().state.x += 1;
  for (std::size_t i = 0; i < heads.size() && (taken || answer == kCancelled); ++i) {
    const State& s = heads[i].state;
    Log(heads[i].name + " " + Text(s.mode) + "+" + std::to_string(s.x) + "+" + std::to_string(s.y) +
        " scale=" + Text(s.scale) + " transform=" + std::to_string(s.transform) +
        " enabled=" + std::to_string(s.enabled));
  }
  return answer;
}

// The configuration's part for the head while it is not used yet, or null.
Asked* Part(wl_resource* configuration, std::size_t head) {
  if (configuration == nullptr || Of(configuration).used) return nullptr;
  return &Of(configuration).asked[head];
}

void Destroy(wl_client*, wl_resource* resource) { wl_resource_destroy(resource); }

// wlroots' output manager, versions 1 to 4.

const struct zwlr_output_mode_v1_interface kWlrModeImpl = {Destroy};
const struct zwlr_output_head_v1_interface kWlrHeadImpl = {Destroy};

// Sends what differs from `before`, or all without it; a head that comes on
// is described in full, as wlroots does.
void SendHead(wl_resource* resource, const State* before) {
  Object& object = Of(resource);
  const Head& head = heads[object.head];
  const State& s = head.state;
  const int version = wl_resource_get_version(resource);
  for (; object.index < head.modes.size(); ++object.index) {
    const Mode& m = head.modes[object.index];
    wl_resource* mode = Make(wl_resource_get_client(resource), &zwlr_output_mode_v1_interface, version, 0,
                             &kWlrModeImpl, {kMode, object.head, object.index, resource});
    zwlr_output_head_v1_send_mode(resource, mode);
    zwlr_output_mode_v1_send_size(mode, m.width, m.height);
    if (m.refresh > 0) zwlr_output_mode_v1_send_refresh(mode, m.refresh);
    if (object.index == 0) zwlr_output_mode_v1_send_preferred(mode);
  }
  const bool all = before == nullptr || before->enabled != s.enabled;
  if (all) zwlr_output_head_v1_send_enabled(resource, s.enabled);
  if (!s.enabled) return;
  const auto current = All(kMode, resource, head.Find(s.mode));
  if ((all || before->mode != s.mode) && !current.empty()) {
    zwlr_output_head_v1_send_current_mode(resource, current[0]);
  }
  if (all || before->x != s.x || before->y != s.y) zwlr_output_head_v1_send_position(resource, s.x, s.y);
  if (all || before->transform != s.transform) zwlr_output_head_v1_send_transform(resource, s.transform);
  if (all || before->scale != s.scale) {
    zwlr_output_head_v1_send_scale(resource, wl_fixed_from_double(s.scale));
  }
  if ((all || before->adaptive_sync != s.adaptive_sync) &&
      version >= ZWLR_OUTPUT_HEAD_V1_ADAPTIVE_SYNC_SINCE_VERSION) {
    zwlr_output_head_v1_send_adaptive_sync(resource, s.adaptive_sync);
  }
}

// Records a property of a head's configuration, unless the value is invalid
// or the property was set already.
template <typename Change>
void Set(wl_resource* resource, const char* field, const std::string& text, std::uint32_t invalid,
         bool valid, Change change) {
  Asked* asked = Part(Of(resource).parent, Of(resource).head);
  if (!Check(resource, valid, invalid, "invalid value") || asked == nullptr) return;
  const auto set = [asked](const char* name) { return asked->fields.count(name) != 0; };
  const bool again =
      std::strstr(field, "mode") != nullptr ? set("mode") || set("custom_mode") : set(field);
  if (!Check(resource, !again, ZWLR_OUTPUT_CONFIGURATION_HEAD_V1_ERROR_ALREADY_SET,
             "property set twice")) {
    return;
  }
  asked->fields[field] = text;
  change(asked->next);
}

const struct zwlr_output_configuration_head_v1_interface kWlrConfigurationHeadImpl = {
    [](wl_client*, wl_resource* r, wl_resource* mode) {
      const Mode m = heads[Of(mode).head].modes[Of(mode).index];
      Set(r, "mode", Text(m), ZWLR_OUTPUT_CONFIGURATION_HEAD_V1_ERROR_INVALID_MODE,
          Of(mode).head == Of(r).head, [&](State& s) { s.mode = m; });
    },
    [](wl_client*, wl_resource* r, std::int32_t width, std::int32_t height, std::int32_t refresh) {
      const Mode m{width, height, refresh};
      Set(r, "custom_mode", Text(m), ZWLR_OUTPUT_CONFIGURATION_HEAD_V1_ERROR_INVALID_CUSTOM_MODE,
          width > 0 && height > 0 && refresh >= 0, [&](State& s) { s.mode = m; });
    },
    [](wl_client*, wl_resource* r, std::int32_t x, std::int32_t y) {
      Set(r, "pos", std::to_string(x) + "," + std::to_string(y), 0, true,
          [&](State& s) { s.x = x, s.y = y; });
    },
    [](wl_client*, wl_resource* r, std::int32_t transform) {
      Set(r, "transform", std::to_string(transform),
          ZWLR_OUTPUT_CONFIGURATION_HEAD_V1_ERROR_INVALID_TRANSFORM, transform >= 0 && transform <= 7,
          [&](State& s) { s.transform = transform; });
    },
    [](wl_client*, wl_resource* r, wl_fixed_t scale) {
      Set(r, "scale", Text(wl_fixed_to_double(scale)),
          ZWLR_OUTPUT_CONFIGURATION_HEAD_V1_ERROR_INVALID_SCALE, scale > 0,
          [&](State& s) { s.scale = wl_fixed_to_double(scale); });
    },
    [](wl_client*, wl_resource* r, std::uint32_t state) {
      Set(r, "adaptive_sync", std::to_string(state),
          ZWLR_OUTPUT_CONFIGURATION_HEAD_V1_ERROR_INVALID_ADAPTIVE_SYNC_STATE, state <= 1,
          [&](State& s) { s.adaptive_sync = state != 0; });
    }};

// Names the head in the configuration, unless it is used or the head named.
bool Configure(wl_resource* configuration, wl_resource* head, bool enabled) {
  Object& object = Of(configuration);
  Asked& asked = object.asked[Of(head).head];
  if (!Check(configuration, !object.used, ZWLR_OUTPUT_CONFIGURATION_V1_ERROR_ALREADY_USED,
             "configuration used") ||
      !Check(configuration, !asked.named, ZWLR_OUTPUT_CONFIGURATION_V1_ERROR_ALREADY_CONFIGURED_HEAD,
             "head configured twice")) {
    return false;
  }
  asked.named = true;
  asked.next.enabled = enabled;
  asked.fields["enabled"] = enabled ? "1" : "0";
  return true;
}

// The order sway gives a change: its output commits make wlroots send the
// changed heads and done, and only then is the configuration answered.
void Finish(wl_resource* configuration, const char* what) {
  Object& object = Of(configuration);
  bool whole = true;
  for (const Asked& asked : object.asked) whole = whole && asked.named;
  if (!Check(configuration, !object.used, ZWLR_OUTPUT_CONFIGURATION_V1_ERROR_ALREADY_USED,
             "configuration used") ||
      !Check(configuration, whole, ZWLR_OUTPUT_CONFIGURATION_V1_ERROR_UNCONFIGURED_HEAD,
             "head left out")) {
    return;
  }
  object.used = true;
  const std::vector<Head> before = heads;
  const Answer answer = Apply(what, object.asked, object.serial != serial);
  if (Changed(before)) {
    for (wl_resource* head : All(kHead)) SendHead(head, &before[Of(head).head].state);
    serial = wl_display_next_serial(display);
    for (wl_resource* manager : All(kManager)) zwlr_output_manager_v1_send_done(manager, serial);
  }
  if (answer == kSucceeded) zwlr_output_configuration_v1_send_succeeded(configuration);
  if (answer == kFailed) zwlr_output_configuration_v1_send_failed(configuration);
  if (answer == kCancelled || answer == kStale) {
    zwlr_output_configuration_v1_send_cancelled(configuration);
  }
}

const struct zwlr_output_configuration_v1_interface kWlrConfigurationImpl = {
    [](wl_client* client, wl_resource* configuration, std::uint32_t id, wl_resource* head) {
      if (Configure(configuration, head, true)) {
        Make(client, &zwlr_output_configuration_head_v1_interface, wl_resource_get_version(configuration),
             id, &kWlrConfigurationHeadImpl, {kConfigurationHead, Of(head).head, 0, configuration});
      }
    },
    [](wl_client*, wl_resource* configuration, wl_resource* head) {
      Configure(configuration, head, false);
    },
    [](wl_client*, wl_resource* configuration) { Finish(configuration, "apply"); },
    [](wl_client*, wl_resource* configuration) { Finish(configuration, "test"); }, Destroy};

const struct zwlr_output_manager_v1_interface kWlrManagerImpl = {
    [](wl_client* client, wl_resource* manager, std::uint32_t id, std::uint32_t client_serial) {
      Configuration(client, manager, id, &zwlr_output_configuration_v1_interface, &kWlrConfigurationImpl,
                    client_serial);
    },
    [](wl_client*, wl_resource* manager) {
      zwlr_output_manager_v1_send_finished(manager);
      wl_resource_destroy(manager);
    }};

void BindWlr(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
  wl_resource* manager =
      Make(client, &zwlr_output_manager_v1_interface, int(version), id, &kWlrManagerImpl, kManager);
  for (std::size_t i = 0; i < heads.size(); ++i) {
    wl_resource* head = Make(client, &zwlr_output_head_v1_interface, int(version), 0, &kWlrHeadImpl,
                             {kHead, i, 0, manager});
    zwlr_output_manager_v1_send_head(manager, head);
    zwlr_output_head_v1_send_name(head, heads[i].name.c_str());
    zwlr_output_head_v1_send_description(head, ("Scripted " + heads[i].name).c_str());
    if (version >= ZWLR_OUTPUT_HEAD_V1_MAKE_SINCE_VERSION) {
      zwlr_output_head_v1_send_make(head, "Scripted");
    }
    SendHead(head, nullptr);
  }
  zwlr_output_manager_v1_send_done(manager, serial);
}

// KDE's output device, management and order, as kwin speaks them.

// Sends what differs from `before`, or all without it, and done after.
void SendDevice(wl_resource* device, const State* before) {
  Object& object = Of(device);
  const Head& head = heads[object.head];
  const State& s = head.state;
  const bool all = before == nullptr;
  if (all || before->x != s.x || before->y != s.y || before->transform != s.transform) {
    kde_output_device_v2_send_geometry(device, s.x, s.y, 0, 0, 0, "Scripted", head.name.c_str(),
                                       s.transform);
  }
  if (all || before->scale != s.scale) {
    kde_output_device_v2_send_scale(device, wl_fixed_from_double(s.scale));
  }
  if (all && wl_resource_get_version(device) >= KDE_OUTPUT_DEVICE_V2_NAME_SINCE_VERSION) {
    kde_output_device_v2_send_name(device, head.name.c_str());
  }
  // As kwin, the current mode last: the latest mode event names it.
  const std::size_t current = head.Find(s.mode);
  std::vector<std::size_t> announce;
  for (std::size_t i = object.index; i < head.modes.size(); ++i) {
    if (!all || i != current) announce.push_back(i);
  }
  if (all) announce.push_back(current);
  object.index = head.modes.size();
  for (std::size_t i : announce) {
    wl_resource* mode =
        Make(wl_resource_get_client(device), &kde_output_device_mode_v2_interface,
             wl_resource_get_version(device), 0, nullptr, {kMode, object.head, i, device});
    kde_output_device_v2_send_mode(device, mode);
    kde_output_device_mode_v2_send_size(mode, head.modes[i].width, head.modes[i].height);
    kde_output_device_mode_v2_send_refresh(mode, head.modes[i].refresh);
    if (i == 0) kde_output_device_mode_v2_send_preferred(mode);
  }
  if (s.enabled && (all || before->mode != s.mode || !before->enabled)) {
    kde_output_device_v2_send_current_mode(device, All(kMode, device, current).at(0));
  }
  if (all || before->enabled != s.enabled) kde_output_device_v2_send_enabled(device, s.enabled);
  if (all || *before != s) kde_output_device_v2_send_done(device);
}

template <typename Change>
void Ask(wl_resource* configuration, wl_resource* device, const char* field, const std::string& text,
         Change change) {
  if (Asked* asked = Part(configuration, Of(device).head)) {
    asked->named = true;
    asked->fields[field] = text;
    change(asked->next);
  }
}

// The devices change before applied is sent, as kwin does.
void ApplyKde(wl_client*, wl_resource* configuration) {
  Object& object = Of(configuration);
  if (!Check(configuration, !object.used, KDE_OUTPUT_CONFIGURATION_V2_ERROR_ALREADY_APPLIED,
             "applied twice")) {
    return;
  }
  object.used = true;
  const std::vector<Head> before = heads;
  const Answer answer = Apply("apply", object.asked, false);
  for (wl_resource* device : All(kDevice)) SendDevice(device, &before[Of(device).head].state);
  if (answer == kSucceeded) kde_output_configuration_v2_send_applied(configuration);
  if (answer == kFailed) kde_output_configuration_v2_send_failed(configuration);
}

// Overscan, variable refresh, colour range and priorities are not kept.
const auto kIgnore = [](wl_client*, wl_resource*, wl_resource*, std::uint32_t) {};
const struct kde_output_configuration_v2_interface kKdeConfigurationImpl = {
    [](wl_client*, wl_resource* c, wl_resource* d, std::int32_t enable) {
      Ask(c, d, "enabled", std::to_string(enable), [&](State& s) { s.enabled = enable != 0; });
    },
    [](wl_client*, wl_resource* c, wl_resource* d, wl_resource* mode) {
      const Mode m = heads[Of(mode).head].modes[Of(mode).index];
      Ask(c, d, "mode", Text(m), [&](State& s) { s.mode = m; });
    },
    [](wl_client*, wl_resource* c, wl_resource* d, std::int32_t transform) {
      Ask(c, d, "transform", std::to_string(transform), [&](State& s) { s.transform = transform & 7; });
    },
    [](wl_client*, wl_resource* c, wl_resource* d, std::int32_t x, std::int32_t y) {
      Ask(c, d, "pos", std::to_string(x) + "," + std::to_string(y), [&](State& s) { s.x = x, s.y = y; });
    },
    [](wl_client*, wl_resource* c, wl_resource* d, wl_fixed_t scale) {
      Ask(c, d, "scale", Text(wl_fixed_to_double(scale)),
          [&](State& s) { s.scale = scale > 0 ? wl_fixed_to_double(scale) : s.scale; });
    },
    ApplyKde,
    Destroy,
    kIgnore,
    kIgnore,
    kIgnore,
    [](wl_client*, wl_resource*, wl_resource*) {},
    kIgnore};

const struct kde_output_management_v2_interface kKdeManagementImpl = {
    [](wl_client* client, wl_resource* management, std::uint32_t id) {
      Configuration(client, management, id, &kde_output_configuration_v2_interface,
                    &kKdeConfigurationImpl, 0);
    }};

const struct kde_output_order_v1_interface kKdeOrderImpl = {Destroy};

void BindDevice(wl_client* client, void* data, std::uint32_t version, std::uint32_t id) {
  const std::size_t i = std::size_t(static_cast<Head*>(data) - heads.data());
  SendDevice(Make(client, &kde_output_device_v2_interface, int(version), id, nullptr, {kDevice, i}),
             nullptr);
}

void BindManagement(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
  Make(client, &kde_output_management_v2_interface, int(version), id, &kKdeManagementImpl, kManager);
}

// The order never changes: the heads as given, the first the primary.
void BindOrder(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
  wl_resource* order =
      Make(client, &kde_output_order_v1_interface, int(version), id, &kKdeOrderImpl, kOrder);
  for (const Head& head : heads) kde_output_order_v1_send_output(order, head.name.c_str());
  kde_output_order_v1_send_done(order);
}

bool ParseHead(std::string text, Head* head) {
  for (char& c : text) c = c == ';' ? ' ' : c;
  std::istringstream words(text);
  std::string modes, word;
  if (!(words >> head->name >> modes)) return false;
  std::istringstream list(modes);
  Mode m;
  int end = 0, enabled = 1;
  while (std::getline(list, word, ',')) {
    const bool ok = std::sscanf(word.c_str(), "%dx%d@%d%n", &m.width, &m.height, &m.refresh, &end) == 3;
    if (!ok || std::size_t(end) != word.size()) return false;
    head->modes.push_back(m);
  }
  std::size_t current = 0;
  State& s = head->state;
  while (words >> word) {
    const char* w = word.c_str();
    const bool ok = std::sscanf(w, "current=%zu%n", &current, &end) == 1 ||
                    std::sscanf(w, "pos=%d,%d%n", &s.x, &s.y, &end) == 2 ||
                    std::sscanf(w, "scale=%lf%n", &s.scale, &end) == 1 ||
                    std::sscanf(w, "transform=%d%n", &s.transform, &end) == 1 ||
                    std::sscanf(w, "enabled=%d%n", &enabled, &end) == 1;
    if (!ok || std::size_t(end) != word.size()) return false;
  }
  s.enabled = enabled != 0;
  s.scale = wl_fixed_to_double(wl_fixed_from_double(s.scale));  // what a client reads back
  if (current >= head->modes.size()) return false;
  s.mode = head->modes[current];
  return s.scale > 0 && s.transform >= 0 && s.transform <= 7;
}

bool ParseAnswers(const std::string& text) {
  std::istringstream list(text);
  for (std::string word; std::getline(list, word, ',');) {
    const int i =
        int(std::find(kAnswers, kAnswers + kStale, word == "applied" ? "succeeded" : word) - kAnswers);
    if (i == kStale || (kde && i == kCancelled)) return false;
    answers.push_back(Answer(i));
  }
  return !answers.empty();
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> options{{"--answers", "succeeded"}};
  std::vector<std::string> head_args;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--head") == 0) {
      head_args.push_back(argv[i + 1]);
    } else {
      options[argv[i]] = argv[i + 1];
    }
  }
  kde = options["--protocol"] == "kde";
  const std::string socket = options["--socket"], log_name = options["--log"];
  bool ok = argc % 2 == 1 && options.size() == 4 && !socket.empty() && !log_name.empty() &&
            !head_args.empty() && (kde || options["--protocol"] == "wlr") &&
            ParseAnswers(options["--answers"]);
  heads.resize(head_args.size());
  for (std::size_t i = 0; ok && i < head_args.size(); ++i) ok = ParseHead(head_args[i], &heads[i]);
  if (!ok) {
    std::fprintf(stderr,
                 "usage: %s --socket NAME --protocol wlr|kde --log FILE [--answers LIST] "
                 "--head 'NAME WxH@MHZ,... [current=I] [pos=X,Y] [scale=S] [transform=T]'...\n",
                 argv[0]);
    return 2;
  }
  log_file = std::fopen(log_name.c_str(), "w");
  display = wl_display_create();
  const auto stop = [](int, void*) {
    wl_display_terminate(display);
    return 0;
  };
  wl_event_loop* loop = wl_display_get_event_loop(display);
  wl_event_source* sources[] = {wl_event_loop_add_signal(loop, SIGTERM, stop, nullptr),
                                wl_event_loop_add_signal(loop, SIGINT, stop, nullptr)};
  if (kde) {
    for (Head& head : heads)
      wl_global_create(display, &kde_output_device_v2_interface, 2, &head, BindDevice);
    wl_global_create(display, &kde_output_management_v2_interface, 3, nullptr, BindManagement);
    wl_global_create(display, &kde_output_order_v1_interface, 1, nullptr, BindOrder);
  } else {
    serial = wl_display_next_serial(display);
    wl_global_create(display, &zwlr_output_manager_v1_interface, 4, nullptr, BindWlr);
  }
  if (log_file == nullptr || wl_display_add_socket(display, socket.c_str()) != 0) {
    std::perror((log_file ? socket : log_name).c_str());
    return 1;
  }
  Log("ready");
  wl_display_run(display);
  for (wl_event_source* source : sources) wl_event_source_remove(source);
  wl_display_destroy_clients(display);
  wl_display_destroy(display);
  std::fclose(log_file);
  return 0;
}
