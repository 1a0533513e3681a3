// A Wayland compositor without screens for Pelmode's end-to-end tests: it
// describes the heads given on the command line through wlroots' or KDE's
// output protocols, answers each apply as a script says, and logs what was
// asked and what became of the heads.
//
// Usage: scripted_compositor --socket NAME --protocol wlr|kde --log FILE
//          [--answers LIST] --head HEAD [--head HEAD...]
// HEAD: "NAME WxH@MHZ,WxH@MHZ... [pos=X,Y] [scale=S] [transform=T] [off] [gone]";
//   the first mode is the preferred and current one; a gone head is
//   unplugged (finished) once described. With kde the first head is the
//   primary.
// LIST: comma-separated answers, one per apply, the last repeated:
//   succeeded: the asked state is taken and
//     every client told of it, then comes the answer;
//   failed: nothing changes;
//   cancelled: another client has moved the last head a pixel to the
//     right meanwhile: every client is told of it first (kde then fails);
//   silent: that apply is never answered, though every other request is;
//   die: the compositor exits at once with status 0, as a crash would.
// wlr speaks version 2 as phoc does, answers before it tells the heads'
// new state (and tells nothing when nothing changed), and ends a client
// with a protocol error where wlroots does: a head left unconfigured or
// configured twice, another head's mode, a configuration applied twice. A
// wlr apply with a stale serial is cancelled and takes no answer; a wlr
// test always succeeds.
// The log: per apply "apply N ANSWER"
// (ANSWER "stale" for a stale serial), then "asked NAME FIELD=VALUE..." for
// each head it named, every request's field, and after a change or cancel
// a line per head, "NAME WxH@MHZ+X+Y scale=S transform=T enabled=E".
#include <unistd.h>
#include <wayland-server-core.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kde-output-device-v2-server-protocol.h"
#include "kde-output-management-v2-server-protocol.h"
#include "kde-output-order-v1-server-protocol.h"
#include "wlr-output-management-unstable-v1-server-protocol.h"

namespace {

struct Mode {
  std::int32_t width = 0, height = 0, refresh = 0;
};

struct State {
  std::size_t mode = 0;  // in the head's modes
  std::int32_t x = 0, y = 0, transform = 0;
  double scale = 1;
  bool enabled = true;
  bool operator==(const State&) const = default;
};

struct Head {
  std::string name;
  std::vector<Mode> modes;
  State state;
  bool gone = false;
};

// What a configuration asks of one head, and its fields for the log.
struct Asked {
  State next;
  std::map<std::string, std::string> fields;
};

// Only these are looked up; other resources are kOther.
enum Kind { kOther, kManager, kHead, kMode };

// Every resource made here. Those made under one since destroyed lose their
// parent, and requests on them do nothing.
struct Object {
  Kind kind;
  std::size_t head = 0, index = 0;  // index: a mode's place in its head's modes
  wl_resource* parent = nullptr;
  std::uint32_t serial = 0;                 // a wlr configuration's
  std::map<std::size_t, Asked> asked = {};  // a configuration's, by head
  bool applied = false;
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

// Those of a kind; with a parent, only those under it at that index.
std::vector<wl_resource*> All(Kind kind, wl_resource* parent = nullptr, std::size_t index = 0) {
  std::vector<wl_resource*> found;
  for (const auto& entry : objects) {
    const Object& o = entry.second;
    const bool under = parent == nullptr || (o.parent == parent && o.index == index);
    if (o.kind == kind && under) found.push_back(entry.first);
  }
  return found;
}

void Log(const std::string& line) {
  std::fprintf(log_file, "%s\n", line.c_str());
  std::fflush(log_file);
}

// A head's mode.
std::string Text(std::size_t head, std::size_t index) {
  const Mode& m = heads[head].modes.at(index);  // another head's mode may be out of range
  return std::to_string(m.width) + "x" + std::to_string(m.height) + "@" + std::to_string(m.refresh);
}

std::string Text(std::int32_t x, std::int32_t y) { return std::to_string(x) + "," + std::to_string(y); }

// Records a field asked of the head in the configuration, while that
// lives; the state asked is the caller's to change.
State* Ask(wl_resource* configuration, std::size_t head, const char* field, const std::string& value) {
  if (configuration == nullptr) return nullptr;
  Asked& asked = Of(configuration).asked[head];
  if (asked.fields.empty()) asked.next = heads[head].state;
  asked.fields[field] = value;
  return &asked.next;
}

// Logs the apply and what it asked, then carries out the script's next
// answer, or cancels a stale one; the caller tells the clients.
Answer Apply(const Object& configuration, bool stale) {
  const Answer answer = stale ? kStale : answers[std::min(answered++, answers.size() - 1)];
  Log("apply " + std::to_string(++applies) + " " + kAnswers[answer]);
  for (const auto& asked : configuration.asked) {
    std::string line = "asked " + heads[asked.first].name;
    for (const auto& field : asked.second.fields) line += " " + field.first + "=" + field.second;
    Log(line);
    if (answer == kSucceeded) heads[asked.first].state = asked.second.next;
  }
  if (answer == kDie) _exit(0);
  const bool changed = answer == kSucceeded || answer == kCancelled;
  if (answer == kCancelled) heads.back().state.x += 1;
  for (std::size_t i = 0; i < heads.size() && changed; ++i) {
    const State& s = heads[i].state;
    char line[200];
    std::snprintf(line, sizeof line, "%s %s+%d+%d scale=%g transform=%d enabled=%d", heads[i].name.c_str(),
                  Text(i, s.mode).c_str(), s.x, s.y, s.scale, s.transform, s.enabled);
    Log(line);
  }
  return answer;
}

void Destroy(wl_client*, wl_resource* resource) { wl_resource_destroy(resource); }
const auto kIgnore = [](auto...) {};
// Requests Pelmode never means to make, logged as asked of the head.
constexpr const char* kUnmeant[] = {"custom", "transform", "scale", "adaptive_sync", "overscan",
                                    "vrr", "rgb_range", "primary", "priority"};
template <int kField>
void WlrUnmeant(wl_client*, wl_resource* r, auto...) { Ask(Of(r).parent, Of(r).head, kUnmeant[kField], "?"); }
template <int kField>
void KdeUnmeant(wl_client*, wl_resource* c, wl_resource* device, auto...) {
  Ask(c, Of(device).head, kUnmeant[kField], "?");
}

// wlroots' output manager, versions 1 to 4.

// Everything but the name and the modes, as wlroots sends a head that
// comes on.
void SendHead(wl_resource* head) {
  const State& s = heads[Of(head).head].state;
  zwlr_output_head_v1_send_enabled(head, s.enabled);
  if (!s.enabled) return;
  for (wl_resource* mode : All(kMode, head, s.mode)) zwlr_output_head_v1_send_current_mode(head, mode);
  zwlr_output_head_v1_send_position(head, s.x, s.y);
  zwlr_output_head_v1_send_transform(head, s.transform);
  zwlr_output_head_v1_send_scale(head, wl_fixed_from_double(s.scale));
}

const struct zwlr_output_configuration_head_v1_interface kWlrConfigurationHeadImpl = {
    [](wl_client*, wl_resource* r, wl_resource* mode) {
      const Object& m = Of(mode);
      if (m.head != Of(r).head) {
        return wl_resource_post_error(r, ZWLR_OUTPUT_CONFIGURATION_HEAD_V1_ERROR_INVALID_MODE, "another head's mode");
      }
      if (State* s = Ask(Of(r).parent, Of(r).head, "mode", Text(m.head, m.index))) s->mode = m.index;
    },
    WlrUnmeant<0>,
    [](wl_client*, wl_resource* r, std::int32_t x, std::int32_t y) {
      if (State* s = Ask(Of(r).parent, Of(r).head, "pos", Text(x, y))) s->x = x, s->y = y;
    },
    WlrUnmeant<1>, WlrUnmeant<2>, WlrUnmeant<3>};

void SendHeadsAndDone() {
  for (wl_resource* head : All(kHead)) SendHead(head);
  serial = wl_display_next_serial(display);
  for (wl_resource* manager : All(kManager)) zwlr_output_manager_v1_send_done(manager, serial);
}

// phoc's order: the answer first, then the heads and done where anything
// changed. Another client's change is told before the cancel.
void ApplyWlr(wl_client*, wl_resource* configuration) {
  Object& c = Of(configuration);
  const auto error = ZWLR_OUTPUT_CONFIGURATION_V1_ERROR_ALREADY_USED;
  if (c.applied) return wl_resource_post_error(configuration, error, "applied twice");
  for (std::size_t i = 0; i < heads.size(); ++i) {
    const auto unconfigured = ZWLR_OUTPUT_CONFIGURATION_V1_ERROR_UNCONFIGURED_HEAD;
    if (!heads[i].gone && !c.asked.count(i)) return wl_resource_post_error(configuration, unconfigured, "a head left out");
  }
  c.applied = true;
  std::vector<State> before;
  for (const Head& head : heads) before.push_back(head.state);
  const Answer answer = Apply(c, c.serial != serial);
  if (answer == kCancelled) SendHeadsAndDone();
  if (answer == kCancelled || answer == kStale) zwlr_output_configuration_v1_send_cancelled(configuration);
  if (answer == kSucceeded) zwlr_output_configuration_v1_send_succeeded(configuration);
  if (answer == kFailed) zwlr_output_configuration_v1_send_failed(configuration);
  for (std::size_t i = 0; i < heads.size() && answer == kSucceeded; ++i) {
    if (!(heads[i].state == before[i])) return SendHeadsAndDone();
  }
}

// A head named twice in one configuration.
bool Twice(wl_resource* configuration, wl_resource* head) {
  if (!Of(configuration).asked.count(Of(head).head)) return false;
  const auto error = ZWLR_OUTPUT_CONFIGURATION_V1_ERROR_ALREADY_CONFIGURED_HEAD;
  wl_resource_post_error(configuration, error, "a head configured twice");
  return true;
}

const struct zwlr_output_configuration_v1_interface kWlrConfigurationImpl = {
    [](wl_client* client, wl_resource* configuration, std::uint32_t id, wl_resource* head) {
      if (Twice(configuration, head)) return;
      if (State* s = Ask(configuration, Of(head).head, "enabled", "1")) s->enabled = true;
      Make(client, &zwlr_output_configuration_head_v1_interface, wl_resource_get_version(configuration), id,
           &kWlrConfigurationHeadImpl, {kOther, Of(head).head, 0, configuration});
    },
    [](wl_client*, wl_resource* configuration, wl_resource* head) {
      if (Twice(configuration, head)) return;
      if (State* s = Ask(configuration, Of(head).head, "enabled", "0")) s->enabled = false;
    },
    ApplyWlr, kIgnore, Destroy};

const struct zwlr_output_manager_v1_interface kWlrManagerImpl = {
    [](wl_client* client, wl_resource* manager, std::uint32_t id, std::uint32_t client_serial) {
      Make(client, &zwlr_output_configuration_v1_interface, wl_resource_get_version(manager), id,
           &kWlrConfigurationImpl, {kOther, 0, 0, nullptr, client_serial});
    },
    kIgnore};

void BindWlr(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
  wl_resource* manager =
      Make(client, &zwlr_output_manager_v1_interface, int(version), id, &kWlrManagerImpl, {kManager});
  for (std::size_t i = 0; i < heads.size(); ++i) {
    wl_resource* head =
        Make(client, &zwlr_output_head_v1_interface, int(version), 0, nullptr, {kHead, i, 0, manager});
    zwlr_output_manager_v1_send_head(manager, head);
    zwlr_output_head_v1_send_name(head, heads[i].name.c_str());
    zwlr_output_head_v1_send_description(head, heads[i].name.c_str());
    for (std::size_t m = 0; m < heads[i].modes.size(); ++m) {
      wl_resource* mode =
          Make(client, &zwlr_output_mode_v1_interface, int(version), 0, nullptr, {kMode, i, m, head});
      zwlr_output_head_v1_send_mode(head, mode);
      zwlr_output_mode_v1_send_size(mode, heads[i].modes[m].width, heads[i].modes[m].height);
      zwlr_output_mode_v1_send_refresh(mode, heads[i].modes[m].refresh);
      if (m == 0) zwlr_output_mode_v1_send_preferred(mode);
    }
    SendHead(head);
    if (heads[i].gone) zwlr_output_head_v1_send_finished(head);
  }
  zwlr_output_manager_v1_send_done(manager, serial);
}

// KDE's output device, management and order, as kwin speaks them.

// Everything but the name and the modes, then done.
void SendDevice(wl_resource* device) {
  const Head& head = heads[Of(device).head];
  const State& s = head.state;
  kde_output_device_v2_send_geometry(device, s.x, s.y, 0, 0, 0, "Scripted", head.name.c_str(), s.transform);
  kde_output_device_v2_send_scale(device, wl_fixed_from_double(s.scale));
  for (wl_resource* mode : All(kMode, device, s.mode)) kde_output_device_v2_send_current_mode(device, mode);
  kde_output_device_v2_send_enabled(device, s.enabled);
  kde_output_device_v2_send_done(device);
}

// The devices change before applied is sent, as kwin does.
void ApplyKde(wl_client*, wl_resource* configuration) {
  const Answer answer = Apply(Of(configuration), false);
  if (answer == kSucceeded || answer == kCancelled) {
    for (wl_resource* device : All(kHead)) SendDevice(device);
  }
  if (answer == kSucceeded) kde_output_configuration_v2_send_applied(configuration);
  if (answer == kFailed || answer == kCancelled) kde_output_configuration_v2_send_failed(configuration);
}

const struct kde_output_configuration_v2_interface kKdeConfigurationImpl = {
    [](wl_client*, wl_resource* c, wl_resource* d, std::int32_t enable) {
      if (State* s = Ask(c, Of(d).head, "enabled", std::to_string(enable))) s->enabled = enable != 0;
    },
    [](wl_client*, wl_resource* c, wl_resource* d, wl_resource* mode) {
      const Object& m = Of(mode);
      if (State* s = Ask(c, Of(d).head, "mode", Text(m.head, m.index))) s->mode = m.index;
    },
    KdeUnmeant<1>,
    [](wl_client*, wl_resource* c, wl_resource* d, std::int32_t x, std::int32_t y) {
      if (State* s = Ask(c, Of(d).head, "pos", Text(x, y))) s->x = x, s->y = y;
    },
    KdeUnmeant<2>, ApplyKde, Destroy, KdeUnmeant<4>, KdeUnmeant<5>, KdeUnmeant<6>, KdeUnmeant<7>,
    KdeUnmeant<8>};

const struct kde_output_management_v2_interface kKdeManagementImpl = {
    [](wl_client* client, wl_resource* management, std::uint32_t id) {
      Make(client, &kde_output_configuration_v2_interface, wl_resource_get_version(management), id,
           &kKdeConfigurationImpl, {kOther});
    }};

const struct kde_output_order_v1_interface kKdeOrderImpl = {Destroy};

void BindDevice(wl_client* client, void* data, std::uint32_t version, std::uint32_t id) {
  const std::size_t i = std::size_t(static_cast<Head*>(data) - heads.data());
  wl_resource* device = Make(client, &kde_output_device_v2_interface, int(version), id, nullptr, {kHead, i});
  kde_output_device_v2_send_name(device, heads[i].name.c_str());
  for (std::size_t m = 0; m < heads[i].modes.size(); ++m) {
    wl_resource* mode =
        Make(client, &kde_output_device_mode_v2_interface, int(version), 0, nullptr, {kMode, i, m, device});
    kde_output_device_v2_send_mode(device, mode);
    kde_output_device_mode_v2_send_size(mode, heads[i].modes[m].width, heads[i].modes[m].height);
    kde_output_device_mode_v2_send_refresh(mode, heads[i].modes[m].refresh);
    if (m == 0) kde_output_device_mode_v2_send_preferred(mode);
  }
  SendDevice(device);
}

void BindManagement(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
  Make(client, &kde_output_management_v2_interface, int(version), id, &kKdeManagementImpl, {kOther});
}

// The order never changes: the heads as given, the first the primary.
void BindOrder(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
  wl_resource* order =
      Make(client, &kde_output_order_v1_interface, int(version), id, &kKdeOrderImpl, {kOther});
  for (const Head& head : heads) kde_output_order_v1_send_output(order, head.name.c_str());
  kde_output_order_v1_send_done(order);
}

// Takes a --head argument as the next head.
bool ParseHead(const std::string& text) {
  Head& head = heads.emplace_back();
  std::istringstream words(text);
  std::string modes, word;
  if (!(words >> head.name >> modes)) return false;
  std::istringstream list(modes);
  for (Mode m; std::getline(list, word, ',');) {
    if (std::sscanf(word.c_str(), "%dx%d@%d", &m.width, &m.height, &m.refresh) != 3) return false;
    head.modes.push_back(m);
  }
  State& s = head.state;
  while (words >> word) {
    s.enabled = s.enabled && word != "off";
    head.gone = head.gone || word == "gone";
    const char* w = word.c_str();
    if (std::sscanf(w, "pos=%d,%d", &s.x, &s.y) != 2 && std::sscanf(w, "scale=%lf", &s.scale) != 1 &&
        std::sscanf(w, "transform=%d", &s.transform) != 1 && word != "off" && word != "gone") {
      return false;
    }
  }
  s.scale = wl_fixed_to_double(wl_fixed_from_double(s.scale));  // what a client reads back
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> options{{"--answers", "succeeded"}};
  bool ok = argc % 2 == 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    options[argv[i]] = argv[i + 1];
    if (argv[i] == std::string("--head")) ok = ok && ParseHead(argv[i + 1]);
  }
  kde = options["--protocol"] == "kde";
  std::istringstream list(options["--answers"]);
  for (std::string word; std::getline(list, word, ',');) {
    const auto i = std::find(kAnswers, kAnswers + kStale, word) - kAnswers;
    ok = ok && i != kStale;
    answers.push_back(Answer(i));
  }
  if (!ok || heads.empty() || answers.empty() || !(kde || options["--protocol"] == "wlr")) {
    std::fputs("usage: see the comment at the top of scripted_compositor.cpp\n", stderr);
    return 2;
  }
  log_file = std::fopen(options["--log"].c_str(), "w");
  display = wl_display_create();
  const auto stop = [](int, void*) {
    wl_display_terminate(display);
    return 0;
  };
  wl_event_source* sigterm =
      wl_event_loop_add_signal(wl_display_get_event_loop(display), SIGTERM, stop, nullptr);
  if (kde) {
    for (Head& head : heads) wl_global_create(display, &kde_output_device_v2_interface, 2, &head, BindDevice);
    wl_global_create(display, &kde_output_management_v2_interface, 3, nullptr, BindManagement);
    wl_global_create(display, &kde_output_order_v1_interface, 1, nullptr, BindOrder);
  } else {
    serial = wl_display_next_serial(display);
    wl_global_create(display, &zwlr_output_manager_v1_interface, 2, nullptr, BindWlr);
  }
  if (log_file == nullptr || wl_display_add_socket(display, options["--socket"].c_str()) != 0) {
    std::perror(log_file ? "socket" : "log");
    return 1;
  }
  wl_display_run(display);
  wl_event_source_remove(sigterm);
  wl_display_destroy_clients(display);
  wl_display_destroy(display);
  std::fclose(log_file);
  return 0;
}
