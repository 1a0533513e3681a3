// Which display a Linux session gets. A Wayland session is driven through
// its compositor, never through its Xwayland; X11 alone is driven through
// RandR, without the bus; the bus is asked only where neither is named.
#include <cstdlib>

#include "wl_library.h"
#include "kde-output-management-v2-client-protocol.h"
#include "linux_displays.h"
#include "wlr-output-management-unstable-v1-client-protocol.h"

namespace pelmode {
namespace {

class Unusable final : public Display {
 public:
  explicit Unusable(ApplyResult why) : why_(std::move(why)) {}
  std::optional<DisplayMode> QueryCurrentMode() override { return std::nullopt; }
  ApplyResult ApplyMode(std::uint32_t, std::uint32_t) override { return why_; }

 private:
  ApplyResult why_;
};

std::unique_ptr<Display> UnusableFor(ApplyError error, std::string detail = {}) {
  return UnusableDisplay({error, std::move(detail)});
}

// The compositor's own output manager, else Mutter's where Mutter is this
// compositor.
std::unique_ptr<Display> OpenWaylandDisplay(std::unique_ptr<wayland::Connection> connection) {
  if (const auto* wlr = connection->Find(zwlr_output_manager_v1_interface.name)) {
    const wayland::Global manager = *wlr;
    return OpenWlrDisplay(std::move(connection), manager);
  }
  if (const auto* kde = connection->Find(kde_output_management_v2_interface.name)) {
    const wayland::Global management = *kde;
    return OpenKdeDisplay(std::move(connection), management);
  }
  const pid_t compositor = connection->PeerPid();
  if (compositor != 0) {
    if (auto mutter = OpenMutterDisplay(compositor)) return mutter;
  }
  return UnusableFor(ApplyError::kWaylandSession, connection->name());
}

}  // namespace

std::unique_ptr<Display> UnusableDisplay(ApplyResult why) {
  return std::make_unique<Unusable>(std::move(why));
}

std::unique_ptr<Display> OpenDisplay() {
  wayland::Opened wayland = wayland::Connection::FromEnvironment();
  if (wayland.connection) return OpenWaylandDisplay(std::move(wayland.connection));
  if (wayland.failure.error == ApplyError::kWaylandSocketRefused) {
    return UnusableFor(wayland.failure.error, wayland.failure.detail);
  }
  const bool x11_named = std::getenv("DISPLAY") != nullptr;
  if (wayland.named) {
    if (!x11_named) return UnusableFor(wayland.failure.error, wayland.failure.detail);
    return OpenX11Display("Pelmode: the Wayland display " + wayland.failure.detail +
                          "; using DISPLAY instead.");
  }
  if (x11_named) return OpenX11Display({});
  if (auto mutter = OpenMutterDisplay(0)) return mutter;
  return UnusableFor(ApplyError::kNoDisplay);
}

}  // namespace pelmode
