// The key wait on a terminal: no echo, no line editing, one key, and the
// terminal handed back exactly as it was, even when a signal ends the run or
// stops the job.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <iterator>
#include <optional>
#include <span>

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

// The signal that ended a timed wait; the handler may only set it.
volatile sig_atomic_t g_noted_signal = 0;

extern "C" void NoteSignal(int signal_number) { g_noted_signal = signal_number; }

struct Handling {
  int signal_number;
  void (*handler)(int);
};
constexpr Handling kHandlings[] = {
    {SIGINT, RestoreTerminalAndResignal}, {SIGQUIT, RestoreTerminalAndResignal},
    {SIGTERM, RestoreTerminalAndResignal}, {SIGHUP, RestoreTerminalAndResignal},
    {SIGTSTP, RestoreTerminalAndStop},     {SIGCONT, ResumeSingleKey},
};
// A timed wait is ended, not the program, by what would end it.
constexpr Handling kTimedHandlings[] = {
    {SIGINT, NoteSignal},  {SIGQUIT, RestoreTerminalAndResignal},
    {SIGTERM, NoteSignal}, {SIGHUP, NoteSignal},
    {SIGTSTP, RestoreTerminalAndStop}, {SIGCONT, ResumeSingleKey},
};
constexpr std::size_t kHandled = std::size(kHandlings);

// Installs handlers for its lifetime. A signal ignored when the program
// started (as a shell does for a background job) stays ignored.
class SignalHandlers {
 public:
  explicit SignalHandlers(std::span<const Handling, kHandled> handlings) : handlings_(handlings) {
    for (std::size_t i = 0; i < kHandled; ++i) {
      sigaction(handlings_[i].signal_number, nullptr, &previous_[i]);
      if (previous_[i].sa_handler == SIG_IGN) continue;
      SetHandler(handlings_[i].signal_number, handlings_[i].handler);
    }
  }
  ~SignalHandlers() {
    for (std::size_t i = 0; i < kHandled; ++i) {
      sigaction(handlings_[i].signal_number, &previous_[i], nullptr);
    }
  }
  SignalHandlers(const SignalHandlers&) = delete;
  SignalHandlers& operator=(const SignalHandlers&) = delete;

 private:
  std::span<const Handling, kHandled> handlings_;
  struct sigaction previous_[kHandled] = {};
};

// Puts a terminal in single-key mode for its lifetime, the handlers that
// hand it back installed first; on anything else, only the handlers.
class SingleKeyTerminal {
 public:
  explicit SingleKeyTerminal(std::span<const Handling, kHandled> handlings)
      : handlers_(handlings) {
    if (tcgetattr(kInput, &g_saved_terminal) != 0) return;
    g_single_key_terminal = g_saved_terminal;
    g_single_key_terminal.c_lflag &= ~tcflag_t(ICANON | ECHO);
    g_single_key_terminal.c_cc[VMIN] = 1;
    g_single_key_terminal.c_cc[VTIME] = 0;
    active_ = tcsetattr(kInput, TCSANOW, &g_single_key_terminal) == 0;
  }
  ~SingleKeyTerminal() {
    if (active_) tcsetattr(kInput, TCSANOW, &g_saved_terminal);
  }
  SingleKeyTerminal(const SingleKeyTerminal&) = delete;
  SingleKeyTerminal& operator=(const SingleKeyTerminal&) = delete;

 private:
  SignalHandlers handlers_;
  bool active_ = false;
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

// One byte, or why there is none, waiting at most `timeout_ms`: empty when
// the time passed or a signal came.
std::optional<KeyWait> PollOneByte(int timeout_ms) {
  pollfd input = {kInput, POLLIN, 0};
  const int ready = poll(&input, 1, timeout_ms);
  if (ready == 0 || (ready < 0 && errno == EINTR)) return std::nullopt;
  char byte;
  const ssize_t n = ready < 0 ? -1 : read(kInput, &byte, 1);
  if (n == 1) return KeyWait::kKey;
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return std::nullopt;
  return KeyWait::kEnd;
}

}  // namespace

void WaitForKeyPress() {
  if (!isatty(kInput)) {
    ReadOneByte();
    return;
  }
  const SingleKeyTerminal terminal(kHandlings);
  if (ReadOneByte()) DiscardKeyTail();
}

KeyWait WaitForKeyPressWithin(int seconds, void (*tick)(int seconds_left, void* data), void* data) {
  using namespace std::chrono;
  g_noted_signal = 0;
  const SingleKeyTerminal terminal(kTimedHandlings);
  const auto end = steady_clock::now() + std::chrono::seconds(seconds);
  for (int announced = seconds;;) {
    const auto left_ms = duration_cast<milliseconds>(end - steady_clock::now()).count();
    if (g_noted_signal != 0) return KeyWait::kSignal;
    if (left_ms <= 0) return KeyWait::kTimeout;
    const int left_s = int((left_ms + 999) / 1000);
    if (left_s < announced) tick(announced = left_s, data);
    // Woken at each whole second, for the count.
    if (const auto outcome = PollOneByte(int(left_ms - (left_s - 1) * 1000))) {
      if (*outcome == KeyWait::kKey && isatty(kInput)) DiscardKeyTail();
      return *outcome;
    }
  }
}

bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

const char* const kDocumentation = "the manual page, pelmode(1)";
const char* const kNoInput = "</dev/null";

}  // namespace pelmode
