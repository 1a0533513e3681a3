// Which display a Linux session gets, asked of each system in turn. A
// Wayland session is driven through its compositor, never through its
// Xwayland; X11 alone is driven through RandR, without the bus; the bus is
// asked only where nothing is named.
#include <cstdlib>

#include "linux_displays.h"
#include "wl_connection.h"

namespace pelmode {
namespace {

enum class Answer { kMine, kNotMine, kUnreachable };

struct Probed {
  Answer answer = Answer::kNotMine;
  std::unique_ptr<Backend> backend;  // for kMine
  ApplyResult why;                   // for kUnreachable
};

Probed Mine(std::unique_ptr<Backend> backend) { return {Answer::kMine, std::move(backend), {}}; }

// The compositor's own output manager, else Mutter's where Mutter is this
// compositor.
Probed ProbeWayland() {
  wayland::Opened wayland = wayland::Connection::FromEnvironment();
  if (!wayland.connection) {
    if (wayland.failure.error == ApplyError::kWaylandSocketRefused) {
      return Mine(UnusableBackend(wayland.failure));
    }
    return {wayland.named ? Answer::kUnreachable : Answer::kNotMine, nullptr, wayland.failure};
  }
  std::unique_ptr<wayland::Connection>& connection = wayland.connection;
  for (auto* open : {OpenWlrDisplay, OpenKdeDisplay}) {
    if (auto backend = open(connection)) return Mine(std::move(backend));
  }
  std::string bus_problem;
  if (const pid_t compositor = connection->PeerPid(); compositor != 0) {
    if (auto mutter = OpenMutterDisplay(compositor, "mutter-" + connection->name(), &bus_problem)) {
      return Mine(std::move(mutter));
    }
  }
  if (!bus_problem.empty()) {
    return Mine(UnusableBackend({ApplyError::kBusUnreachable, connection->name(), 0, bus_problem}));
  }
  return Mine(UnusableBackend({ApplyError::kWaylandSession, connection->name()}));
}

Probed ProbeX11() {
  if (std::getenv("DISPLAY") == nullptr) return {};
  return Mine(OpenX11Display());
}

Probed ProbeSessionBus() {
  std::string bus_problem;
  auto mutter = OpenMutterDisplay(0, "mutter-session", &bus_problem);
  if (!mutter) return {};
  return Mine(std::move(mutter));
}

struct Probe {
  Probed (*run)();
  bool last_resort;  // asked only where no earlier probe found its system named
};

constexpr Probe kProbes[] = {{ProbeWayland, false}, {ProbeX11, false}, {ProbeSessionBus, true}};

}  // namespace

OpenedDisplay OpenDisplay() {
  std::optional<ApplyResult> unreachable;
  for (const Probe& probe : kProbes) {
    if (probe.last_resort && unreachable) break;
    Probed probed = probe.run();
    if (probed.answer == Answer::kUnreachable && !unreachable) unreachable = probed.why;
    if (probed.answer != Answer::kMine) continue;
    if (!unreachable) return {std::move(probed.backend), {}};
    return {std::move(probed.backend),
            "Pelmode: the Wayland display " + unreachable->detail + "; using DISPLAY instead."};
  }
  return {UnusableBackend(unreachable ? *unreachable : ApplyResult{ApplyError::kNoDisplay, {}}), {}};
}

}  // namespace pelmode
