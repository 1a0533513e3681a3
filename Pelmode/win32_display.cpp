// The display through the Windows display-settings calls, narrow forms.
#include <windows.h>

#include "disp_change.h"
#include "platform.h"

namespace pelmode {
namespace {

static_assert(sizeof(DEVMODEA) == 156, "DEVMODEA is not the published record");
static_assert(kDispChangeSuccessful == DISP_CHANGE_SUCCESSFUL &&
                  kDispChangeRestart == DISP_CHANGE_RESTART &&
                  kDispChangeFailed == DISP_CHANGE_FAILED &&
                  kDispChangeBadMode == DISP_CHANGE_BADMODE &&
                  kDispChangeNotUpdated == DISP_CHANGE_NOTUPDATED &&
                  kDispChangeBadFlags == DISP_CHANGE_BADFLAGS &&
                  kDispChangeBadParam == DISP_CHANGE_BADPARAM &&
                  kDispChangeBadDualView == DISP_CHANGE_BADDUALVIEW,
              "the result codes differ from the Windows headers");

// One record serves as the query's answer and then as the request, as the
// display-settings calls are meant to be used.
class Win32Display final : public Display {
 public:
  Win32Display() {
    record_.dmSize = sizeof record_;
    record_.dmDriverExtra = 0;
  }

  std::optional<DisplayMode> QueryCurrentMode() override {
    if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &record_)) {
      return std::nullopt;
    }
    return DisplayMode{record_.dmPelsWidth, record_.dmPelsHeight,
                       record_.dmDisplayFrequency};
  }

  ApplyResult ApplyMode(std::uint32_t width_px,
                        std::uint32_t height_px) override {
    // Only the size is flagged: what the query left in the record (depth,
    // refresh rate, position) is not requested. Flags 0: a dynamic change,
    // never stored in the registry.
    record_.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    record_.dmPelsWidth = width_px;
    record_.dmPelsHeight = height_px;
    return ApplyResultOfDispChange(ChangeDisplaySettingsA(&record_, 0));
  }

 private:
  DEVMODEA record_ = {};
};

}  // namespace

std::unique_ptr<Display> OpenDisplay() {
  return std::make_unique<Win32Display>();
}

}  // namespace pelmode
