// Where a Wayland or GNOME display keeps the layout of Pelmode's last
// change: a file of the login's own runtime folder, gone at logout.
#pragma once

#include <string>

#include "backend.h"

namespace pelmode {

// The memory kept for one display, read when made: empty when there is none
// or no runtime folder is named.
class LayoutMemoryFile final : public MemoryStore {
 public:
  explicit LayoutMemoryFile(const std::string& display);
  std::string Load() override { return content_; }
  std::string Store(const std::string& memory) override {
    Replace(memory);
    return {};
  }
  const std::string& content() const { return content_; }
  // Best effort: a display without a memory only loses the exact way back.
  // A memory that did not change is not written again.
  void Replace(const std::string& memory);

 private:
  std::string path_;  // empty without a private folder
  std::string content_;
};

}  // namespace pelmode
