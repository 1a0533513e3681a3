#include "disp_change.h"

#include <gtest/gtest.h>

#include "failure_reason.h"
#include "string_sink.h"

namespace pelmode {
namespace {

TEST(DispChangeTest, EveryResultGetsItsOwnWords) {
  const std::pair<long, const char*> failures[] = {
      {kDispChangeBadMode, "the display does not offer 800x600"},
      {kDispChangeRestart, "the computer must be restarted to use 800x600"},
      {kDispChangeFailed, "the display driver could not switch to 800x600"},
      {kDispChangeNotUpdated, "the system refused the change (DISP_CHANGE_NOTUPDATED, code -3)"},
      {kDispChangeBadFlags, "the system refused the change (DISP_CHANGE_BADFLAGS, code -4)"},
      {kDispChangeBadParam, "the system refused the change (DISP_CHANGE_BADPARAM, code -5)"},
      {kDispChangeBadDualView, "the system refused the change (DISP_CHANGE_BADDUALVIEW, code -6)"},
      {-7, "the system refused the change (code -7)"},
  };
  for (const auto& [code, reason] : failures) {
    const ApplyResult result = ApplyResultOfDispChange(code);
    EXPECT_FALSE(result.ok()) << code;
    StringSink sink;
    WriteFailureReason(sink, result, 800, 600);
    EXPECT_EQ(sink.text(), reason) << code;
  }
  EXPECT_TRUE(ApplyResultOfDispChange(kDispChangeSuccessful).ok());
}

}  // namespace
}  // namespace pelmode
