// Runs the built Pelmode on a pseudo-terminal, as a person at a terminal
// would, and checks what the key wait does to that terminal.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr char kPrompt[] = "Press any key to exit...\r\n";

bool SameSettings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag &&
         a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
         std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// A child process whose controlling terminal is a fresh pseudo-terminal.
// The test keeps the terminal's far end open, so its settings can be read
// after the child has gone.
class TerminalRun {
 public:
  explicit TerminalRun(std::vector<std::string> argv) {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) return;
    tcgetattr(slave_, &before_);
    pid_ = fork();
    if (pid_ == 0) ExecOnTerminal(argv);
  }
  ~TerminalRun() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(master_);
    close(slave_);
  }

  // Everything the child printed within `timeout`, or up to `until`.
  std::string Read(const std::string& until, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    pollfd pfd = {master_, POLLIN, 0};
    while (until.empty() || output_.find(until) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || poll(&pfd, 1, int(left.count())) != 1) break;
      char buffer[256];
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      output_.append(buffer, std::size_t(n));
    }
    return output_;
  }

  // True once the child has switched the terminal to single-key mode.
  bool AwaitsKey() {
    for (int i = 0; i < 200; ++i) {
      termios now;
      tcgetattr(slave_, &now);
      if ((now.c_lflag & (ICANON | ECHO)) == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  void Type(const std::string& bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()),
              ssize_t(bytes.size()));
  }

  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    reaped_ = true;
    return status;
  }

  pid_t pid() const { return pid_; }
  bool SettingsRestored() const {
    termios after;
    tcgetattr(slave_, &after);
    return SameSettings(before_, after);
  }

 private:
  [[noreturn]] void ExecOnTerminal(const std::vector<std::string>& argv) {
    setsid();
    ioctl(slave_, TIOCSCTTY, 0);
    for (int fd = 0; fd < 3; ++fd) dup2(slave_, fd);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }

  int master_ = -1;
  int slave_ = -1;
  termios before_ = {};
  pid_t pid_ = -1;
  bool reaped_ = false;
  std::string output_;
};

TEST(KeyWaitTest, OneKeyEndsTheRunWithoutEchoAndRestoresTheTerminal) {
  TerminalRun run({PELMODE_BINARY});
  ASSERT_NE(run.Read(kPrompt, std::chrono::seconds(10)).find(kPrompt),
            std::string::npos);
  ASSERT_TRUE(run.AwaitsKey());
  const std::size_t printed = run.Read("", std::chrono::milliseconds(0)).size();
  run.Type("q");
  const int status = run.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
  EXPECT_EQ(run.Read("", std::chrono::milliseconds(200)).substr(printed), "")
      << "the key was echoed or something followed the prompt";
  EXPECT_TRUE(run.SettingsRestored());
}

TEST(KeyWaitTest, TheRestOfAnArrowKeyNeverReachesTheNextProgram) {
  // The next program reads whatever input is left, waiting 0.3 s at most.
  const std::string script = std::string("\"$0\"; stty -icanon min 0 time 3; ") +
                             "printf '<'; dd bs=16 count=1 2>/dev/null; printf '>'";
  TerminalRun run({"/bin/sh", "-c", script, PELMODE_BINARY});
  ASSERT_NE(run.Read(kPrompt, std::chrono::seconds(10)).find(kPrompt),
            std::string::npos);
  ASSERT_TRUE(run.AwaitsKey());
  run.Type("\x1b[A");
  const std::string output = run.Read("<>", std::chrono::seconds(5));
  EXPECT_NE(output.find("<>"), std::string::npos) << output;
  run.Wait();
}

TEST(KeyWaitTest, SignalsEndTheWaitWithTheTerminalRestored) {
  struct Case {
    const char* what;
    int signal_number;
    bool by_keyboard;
  };
  const Case cases[] = {{"Ctrl+C", SIGINT, true},
                        {"SIGTERM", SIGTERM, false},
                        {"SIGHUP", SIGHUP, false}};
  for (const Case& c : cases) {
    TerminalRun run({PELMODE_BINARY, "1"});
    ASSERT_NE(run.Read(kPrompt, std::chrono::seconds(10)).find(kPrompt),
              std::string::npos);
    ASSERT_TRUE(run.AwaitsKey()) << c.what;
    if (c.by_keyboard) {
      run.Type("\x03");
    } else {
      kill(run.pid(), c.signal_number);
    }
    const int status = run.Wait();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal_number)
        << c.what << ": status " << status;
    EXPECT_TRUE(run.SettingsRestored()) << c.what;
  }
}

}  // namespace
