// The display through the Windows display-settings calls, narrow forms.
#include <windows.h>

#include "backend.h"
#include "disp_change.h"
#include "win32_layout_memory.h"

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

constexpr DEVMODEA EmptyRecord() {
  DEVMODEA record = {};
  record.dmSize = sizeof record;
  record.dmDriverExtra = 0;
  return record;
}
// Wine ignores the size a record gives; Windows refuses a record without it.
static_assert(EmptyRecord().dmSize == sizeof(DEVMODEA) && EmptyRecord().dmDriverExtra == 0,
              "a record must give its own size");

OutputMode ModeOf(const DEVMODEA& record) {
  return {record.dmPelsWidth, record.dmPelsHeight, record.dmDisplayFrequency * 1000,
          (record.dmDisplayFlags & DM_INTERLACED) == 0, {}};
}

bool SameMode(const OutputMode& a, const OutputMode& b) {
  return a.width_px == b.width_px && a.height_px == b.height_px &&
         a.refresh_mhz == b.refresh_mhz && a.progressive == b.progressive;
}

// The name Windows gives the display the program runs on.
std::string PrimaryDeviceName() {
  DISPLAY_DEVICEA device = {};
  device.cb = sizeof device;
  for (DWORD i = 0; EnumDisplayDevicesA(nullptr, i, &device, 0); ++i) {
    if (device.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) return device.DeviceName;
  }
  return "the display";
}

// One display: the one the program runs on. The record the query fills is
// the one the change sends, as the display-settings calls are meant to be
// used; only the size is flagged in it, so the system picks the rate.
class Win32Display final : public Backend {
 public:
  std::string Name() const override { return name_; }
  ApplyResult Read(Reading* reading) override;
  ApplyResult Carry(const Reading& reading, const Plan& plan) override;
  MemoryStore& Memory() override { return *memory_; }

 private:
  std::string name_ = PrimaryDeviceName();
  DEVMODEA record_ = EmptyRecord();
  std::unique_ptr<MemoryStore> memory_ = OpenWin32LayoutMemory();
};

ApplyResult Win32Display::Read(Reading* reading) {
  record_ = EmptyRecord();
  if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &record_)) {
    return {ApplyError::kNoActiveOutput, {}};
  }
  Output output;
  output.name = name_;
  output.enabled = output.primary = true;
  const OutputMode current = ModeOf(record_);
  DEVMODEA mode = EmptyRecord();
  for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); ++i) {
    // A change asks for the size alone, so the colour depth stays.
    if (mode.dmBitsPerPel != record_.dmBitsPerPel) continue;
    if (!output.current_mode && SameMode(ModeOf(mode), current)) {
      output.current_mode = output.modes.size();
    }
    output.modes.push_back(ModeOf(mode));
  }
  if (!output.current_mode) {
    output.current_mode = output.modes.size();
    output.modes.push_back(current);
  }
  reading->outputs = {output};
  reading->rate_by_system = true;
  return {};
}

// Flags 0: a dynamic change, never stored in the registry.
ApplyResult Win32Display::Carry(const Reading& reading, const Plan& plan) {
  const OutputMode& mode = reading.outputs[plan.target].modes[*plan.outputs[plan.target].mode];
  record_.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
  record_.dmPelsWidth = mode.width_px;
  record_.dmPelsHeight = mode.height_px;
  return ApplyResultOfDispChange(ChangeDisplaySettingsA(&record_, 0));
}

}  // namespace

OpenedDisplay OpenDisplay() { return {std::make_unique<Win32Display>(), {}}; }

}  // namespace pelmode
