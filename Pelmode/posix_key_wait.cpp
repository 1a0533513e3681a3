// The key wait on a terminal: no echo, no line editing, one key, and the
// terminal handed back exactly as it was, even when a signal ends the run or
// stops the job.
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
// A key's bytes (an arrow sends three) arrive together; this is how long to
// wait for the rest of one before calling it complete.
constexpr int kKeyTailTimeoutMs = 30;
constexpr int kMaxKeyTailReads = 16;

// Read by the signal handlers, so they cannot live in the guard object.
termios g_saved_terminal;
termios g_single_key_terminal;

void SetHandler(int signal_number, void (*handler)(int),
                struct sigaction* previous = nullptr) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, previous);
}

extern "C" void RestoreTerminalAndResignal(int signal_number) {
  tcsetattr(kInput, TCSANOW, &g_saved_terminal);
  SetHandler(signal_number, SIG_DFL);
  raise(signal_number);  // delivered on return, with the default action
}

// The shell gets its terminal back while the job is stopped.
extern "C" void RestoreTerminalAndStop(int signal_number) {
  const int saved_errno = errno;
  tcsetattr(kInput, TCSANOW, &g_saved_terminal);
  struct sigaction ours;
  SetHandler(signal_number, SIG_DFL, &ours);
  raise(signal_number);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, signal_number);
  sigprocmask(SIG_UNBLOCK, &stop, nullptr);  // stops here until continued
  sigaction(signal_number, &ours, nullptr);
  // Where the job cannot stop (a session leader, an orphaned group) the
  // kernel drops the stop and the wait goes on: it is still one key.
  tcsetattr(kInput, TCSANOW, &g_single_key_terminal);
  errno = saved_errno;
}

extern "C" void ResumeSingleKey(int) {
  const int saved_errno = errno;
  tcsetattr(kInput, TCSANOW, &g_single_key_terminal);
  errno = saved_errno;
}

struct Handling {
  int signal_number;
  void (*handler)(int);
};
constexpr Handling kHandlings[] = {
    {SIGINT, RestoreTerminalAndResignal}, {SIGQUIT, RestoreTerminalAndResignal},
    {SIGTERM, RestoreTerminalAndResignal}, {SIGHUP, RestoreTerminalAndResignal},
    {SIGTSTP, RestoreTerminalAndStop},     {SIGCONT, ResumeSingleKey},
};

// Puts the terminal in single-key mode for its lifetime.
class SingleKeyTerminal {
 public:
  SingleKeyTerminal() {
    if (tcgetattr(kInput, &g_saved_terminal) != 0) return;
    g_single_key_terminal = g_saved_terminal;
    g_single_key_terminal.c_lflag &= ~tcflag_t(ICANON | ECHO);
    g_single_key_terminal.c_cc[VMIN] = 1;
    g_single_key_terminal.c_cc[VTIME] = 0;
    InstallSignalHandlers();
    active_ = true;
    if (tcsetattr(kInput, TCSANOW, &g_single_key_terminal) != 0) {
      RestoreSignalHandlers();
    }
  }
  ~SingleKeyTerminal() {
    if (!active_) return;
    tcsetattr(kInput, TCSANOW, &g_saved_terminal);
    RestoreSignalHandlers();
  }
  SingleKeyTerminal(const SingleKeyTerminal&) = delete;
  SingleKeyTerminal& operator=(const SingleKeyTerminal&) = delete;

 private:
  // A signal ignored when the program started (as a shell does for a
  // background job) stays ignored.
  void InstallSignalHandlers() {
    for (std::size_t i = 0; i < std::size(kHandlings); ++i) {
      sigaction(kHandlings[i].signal_number, nullptr, &previous_[i]);
      if (previous_[i].sa_handler == SIG_IGN) continue;
      SetHandler(kHandlings[i].signal_number, kHandlings[i].handler);
    }
  }
  void RestoreSignalHandlers() {
    for (std::size_t i = 0; i < std::size(kHandlings); ++i) {
      sigaction(kHandlings[i].signal_number, &previous_[i], nullptr);
    }
    active_ = false;
  }

  bool active_ = false;
  struct sigaction previous_[std::size(kHandlings)] = {};
};

// False at end of input or on an error that retrying cannot mend. A
// non-blocking input is waited on, its flags left as they are.
bool ReadOneByte() {
  char byte;
  for (;;) {
    const ssize_t n = read(kInput, &byte, 1);
    if (n == 1) return true;
    if (n == 0) return false;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd input = {kInput, POLLIN, 0};
      if (poll(&input, 1, -1) < 0 && errno != EINTR) return false;
    } else if (errno != EINTR) {
      return false;
    }
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
