// The key wait on a terminal: no echo, no line editing, one key, and the
// terminal handed back exactly as it was, even when a signal ends the run.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iterator>

#include "platform.h"

namespace pelmode {
namespace {

constexpr int kInput = STDIN_FILENO;
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
// A key's bytes (an arrow sends three) arrive together; this is how long to
// wait for the rest of one before calling it complete.
constexpr int kKeyTailTimeoutMs = 30;
constexpr int kMaxKeyTailReads = 16;

// Read by the signal handler, so it cannot live in the guard object.
termios g_saved_terminal;

extern "C" void RestoreTerminalAndResignal(int signal_number) {
  tcsetattr(kInput, TCSANOW, &g_saved_terminal);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);  // delivered on return, with the default action
}

// Puts the terminal in single-key mode for its lifetime.
class SingleKeyTerminal {
 public:
  SingleKeyTerminal() {
    if (tcgetattr(kInput, &g_saved_terminal) != 0) return;
    InstallSignalHandlers();
    termios raw = g_saved_terminal;
    raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    active_ = true;
    if (tcsetattr(kInput, TCSANOW, &raw) != 0) RestoreSignalHandlers();
  }
  ~SingleKeyTerminal() {
    if (!active_) return;
    tcsetattr(kInput, TCSANOW, &g_saved_terminal);
    RestoreSignalHandlers();
  }
  SingleKeyTerminal(const SingleKeyTerminal&) = delete;
  SingleKeyTerminal& operator=(const SingleKeyTerminal&) = delete;

 private:
  void InstallSignalHandlers() {
    struct sigaction action = {};
    action.sa_handler = RestoreTerminalAndResignal;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
      sigaction(kEndingSignals[i], &action, &previous_[i]);
    }
  }
  void RestoreSignalHandlers() {
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
      sigaction(kEndingSignals[i], &previous_[i], nullptr);
    }
    active_ = false;
  }

  bool active_ = false;
  struct sigaction previous_[std::size(kEndingSignals)] = {};
};

// False at end of input or on an error that retrying cannot mend.
bool ReadOneByte() {
  char byte;
  for (;;) {
    const ssize_t n = read(kInput, &byte, 1);
    if (n == 1) return true;
    if (n == 0 || errno != EINTR) return false;
  }
}

// Swallows the rest of a multi-byte key so it never reaches the shell.
void DiscardKeyTail() {
  pollfd input = {kInput, POLLIN, 0};
  char buffer[64];
  for (int i = 0; i < kMaxKeyTailReads; ++i) {
    if (poll(&input, 1, kKeyTailTimeoutMs) != 1) return;
    if (read(kInput, buffer, sizeof buffer) <= 0) return;
  }
}

}  // namespace

void WaitForKeyPress() {
  if (!isatty(kInput)) {
    ReadOneByte();
    return;
  }
  const SingleKeyTerminal terminal;
  if (ReadOneByte()) DiscardKeyTail();
}

}  // namespace pelmode
