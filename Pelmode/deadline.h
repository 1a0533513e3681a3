// How long Pelmode waits for any one answer from a display server, a
// compositor or the bus: the bus's own default, long enough for a server
// busy setting a mode, short enough that a stopped one ends the run.
#pragma once

#include <chrono>

namespace pelmode {

constexpr int kAnswerTimeoutS = PELMODE_ANSWER_TIMEOUT_S;

class Deadline {
 public:
  Deadline() : end_(std::chrono::steady_clock::now() + std::chrono::seconds(kAnswerTimeoutS)) {}

  // What is left, in milliseconds for poll; 0 once it has passed.
  int RemainingMs() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end_ - std::chrono::steady_clock::now());
    return left.count() > 0 ? int(left.count()) : 0;
  }

 private:
  std::chrono::steady_clock::time_point end_;
};

}  // namespace pelmode
