// Which display a Linux session gets: the compositor's own output manager
// where it offers one, else Mutter's, else X11.
#include "kde-output-management-v2-client-protocol.h"
#include "linux_displays.h"
#include "wlr-output-management-unstable-v1-client-protocol.h"

namespace pelmode {

std::unique_ptr<Display> OpenDisplay() {
  if (auto connection = wayland::Connection::FromEnvironment()) {
    if (const auto* wlr = connection->Find(zwlr_output_manager_v1_interface.name)) {
      const wayland::Global manager = *wlr;
      return OpenWlrDisplay(std::move(connection), manager);
    }
    if (const auto* kde = connection->Find(kde_output_management_v2_interface.name)) {
      const wayland::Global management = *kde;
      return OpenKdeDisplay(std::move(connection), management);
    }
  }
  if (auto mutter = OpenMutterDisplay()) return mutter;
  return OpenX11Display();
}

}  // namespace pelmode
