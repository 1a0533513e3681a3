#include "backend.h"

namespace pelmode {
namespace {

class Unusable final : public Backend, public MemoryStore {
 public:
  explicit Unusable(ApplyResult why) : why_(std::move(why)) {}
  std::string Name() const override { return {}; }
  ApplyResult Read(Reading*) override { return why_; }
  ApplyResult Carry(const Reading&, const Plan&) override { return why_; }
  MemoryStore& Memory() override { return *this; }
  std::string Load() override { return {}; }
  std::string Store(const std::string&) override { return {}; }

 private:
  ApplyResult why_;
};

class Forgetful final : public MemoryStore {
 public:
  std::string Load() override { return {}; }
  std::string Store(const std::string&) override { return {}; }
};

}  // namespace

std::unique_ptr<Backend> UnusableBackend(ApplyResult why) {
  return std::make_unique<Unusable>(std::move(why));
}

MemoryStore& NoMemory() {
  static Forgetful none;
  return none;
}

}  // namespace pelmode
