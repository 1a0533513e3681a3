#include "fake_platform.h"

namespace pelmode {
namespace testing {

FakePlatform& Fake() {
  static FakePlatform fake;
  return fake;
}

namespace {

class FakeDisplay final : public Display {
 public:
  std::optional<DisplayMode> QueryCurrentMode() override {
    return Fake().current_mode;
  }
  ApplyResult ApplyMode(std::uint32_t width_px,
                        std::uint32_t height_px) override {
    Fake().applied.emplace_back(width_px, height_px);
    return Fake().apply_result;
  }
};

}  // namespace
}  // namespace testing

std::unique_ptr<Display> OpenDisplay() {
  ++testing::Fake().displays_opened;
  return std::make_unique<testing::FakeDisplay>();
}

void PrepareStandardStreams() {}

void WaitForKeyPress() {
  testing::FakePlatform& fake = testing::Fake();
  if (fake.watched_out != nullptr) fake.out_at_key_wait = fake.watched_out->str();
}

}  // namespace pelmode
