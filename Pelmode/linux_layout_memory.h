// Where a Wayland or GNOME display keeps the layout of Pelmode's last
// change: a file of the login's own runtime folder, gone at logout.
#pragma once

#include <string>

#include "backend.h"

namespace pelmode {

// The memory kept for one display, read when made: empty when there is none,
// when the runtime folder is not the user's own, or when the file is refused.
class LayoutMemoryFile final : public MemoryStore {
 public:
  explicit LayoutMemoryFile(const std::string& display);
  std::string Load() override { return content_; }
  // One line naming a memory found but not read (another user's, not
  // private, not a regular file) and why; empty when none was refused.
  std::string Refusal() const override { return refused_; }
  std::string Store(const std::string& memory) override { return Replace(memory); }
  // Best effort: a display without a memory only loses the exact way back.
  // A memory that did not change is not written again. Returns one line
  // saying why no memory is kept, empty when it was written or needed not be.
  std::string Replace(const std::string& memory);

 private:
  void Read(const std::string& path);
  std::string WriteIn(int folder_fd, const std::string& memory) const;

  std::string unkept_;  // why this runtime folder can keep no memory
  std::string folder_;
  std::string name_;
  std::string content_;
  std::string refused_;
};

}  // namespace pelmode
