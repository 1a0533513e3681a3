// What every display system gives the driver, and all it gives: a backend
// reads the system into the shared model and carries out a plan that the
// driver made. The target, the plan, the tries, the memory, the check
// after the change and the words live once, in the driver.
#pragma once

#include <string>
#include <vector>

#include "output_model.h"
#include "platform.h"

namespace pelmode {

// The outputs as the system reported them, and what it can hold.
struct Reading {
  std::vector<Output> outputs;
  DeskLimits limits;
  // A compositor's Xwayland: it only pretends to change modes.
  bool emulated = false;
  // The system picks the rate itself (Windows): the rate is not checked.
  bool rate_by_system = false;
};

// Where the memory of the last change is kept (an X server's root window,
// a file of the user's own).
class MemoryStore {
 public:
  virtual ~MemoryStore() = default;
  // Empty when there is none, or none that may be read.
  virtual std::string Load() = 0;
  // One line on why a memory that is there was not read; empty if none.
  virtual std::string Refusal() const { return {}; }
  // Best effort, as only the exact way back depends on it: one line on why
  // it was not kept, empty when it was.
  virtual std::string Store(const std::string& memory) = 0;
};

class Backend {
 public:
  virtual ~Backend() = default;
  // How messages name the display: the X display, the compositor's socket.
  virtual std::string Name() const = 0;
  // Every output, as the system reports it now; a failure says why.
  virtual ApplyResult Read(Reading* reading) = 0;
  // Carries out `plan`, made on `reading` (the last one read). Answers
  // done; kOutputsChanged when the system says the outputs changed since
  // (the driver reads and plans again); a refusal with the system's
  // reason; kNoAnswer or kNoAnswerAfterRequest; kConnectionLost.
  virtual ApplyResult Carry(const Reading& reading, const Plan& plan) = 0;
  virtual MemoryStore& Memory() = 0;
};

// A display that cannot be used, saying why when read.
std::unique_ptr<Backend> UnusableBackend(ApplyResult why);

// A store that keeps nothing.
MemoryStore& NoMemory();

}  // namespace pelmode
