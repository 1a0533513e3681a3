// Runs the built Pelmode on a pseudo-terminal, as a person at a terminal
// would, and checks what the key wait does to that terminal.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
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

// A foreground job on a fresh pseudo-terminal, as a shell with job control
// runs it: a session leader waits for the job and ends as the job ended. The
// test keeps the terminal's far end open, so its settings can be read after
// the job has gone.
class TerminalRun {
 public:
  explicit TerminalRun(std::vector<std::string> argv, int ignored_signal = 0) {
    int job_pipe[2];
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) return;
    if (pipe(job_pipe) != 0) return;
    tcgetattr(slave_, &before_);
    leader_ = fork();
    if (leader_ == 0) {
      close(job_pipe[0]);
      LeadSession(argv, ignored_signal, job_pipe[1]);
    }
    close(job_pipe[1]);
    if (read(job_pipe[0], &job_, sizeof job_) != sizeof job_) job_ = -1;
    close(job_pipe[0]);
  }
  ~TerminalRun() {
    if (leader_ > 0 && !reaped_) {
      kill(job_, SIGKILL);
      kill(leader_, SIGKILL);
      waitpid(leader_, nullptr, 0);
    }
    close(master_);
    close(slave_);
  }

  // Everything the job printed within `timeout`, or up to `until`.
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

  // True once `check` holds, polled for up to 10 s.
  template <typename Check>
  static bool Eventually(Check check) {
    for (int i = 0; i < 1000; ++i) {
      if (check()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  // True once the job has switched the terminal to single-key mode.
  bool AwaitsKey() {
    return Eventually([&] {
      termios now;
      tcgetattr(slave_, &now);
      return (now.c_lflag & (ICANON | ECHO)) == 0;
    });
  }

  // True once the job is stopped.
  bool Stopped() const {
    return Eventually([&] {
      std::ifstream stat("/proc/" + std::to_string(job_) + "/stat");
      std::string pid, name, state;
      stat >> pid >> name >> state;
      return state == "T";
    });
  }

  void Type(const std::string& bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()),
              ssize_t(bytes.size()));
  }

  // How the job ended, as its session leader passes it on.
  int Wait() {
    int status = 0;
    waitpid(leader_, &status, 0);
    reaped_ = true;
    return status;
  }

  pid_t job() const { return job_; }
  bool SettingsRestored() const {
    termios after;
    tcgetattr(slave_, &after);
    return SameSettings(before_, after);
  }

 private:
  [[noreturn]] void LeadSession(const std::vector<std::string>& argv,
                                int ignored_signal, int job_pipe) {
    setsid();
    ioctl(slave_, TIOCSCTTY, 0);
    for (int fd = 0; fd < 3; ++fd) dup2(slave_, fd);
    const rlimit no_core = {0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    const pid_t job = fork();
    if (job == 0) RunJob(argv, ignored_signal);
    if (write(job_pipe, &job, sizeof job) != sizeof job) _exit(126);
    int status = 0;
    waitpid(job, &status, 0);
    if (WIFSIGNALED(status)) {
      signal(WTERMSIG(status), SIG_DFL);
      kill(getpid(), WTERMSIG(status));
    }
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 125);
  }

  [[noreturn]] static void RunJob(const std::vector<std::string>& argv,
                                  int ignored_signal) {
    signal(SIGTTOU, SIG_IGN);
    setpgid(0, 0);
    tcsetpgrp(STDIN_FILENO, getpid());
    signal(SIGTTOU, SIG_DFL);
    if (ignored_signal != 0) signal(ignored_signal, SIG_IGN);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }

  int master_ = -1;
  int slave_ = -1;
  termios before_ = {};
  pid_t leader_ = -1;
  pid_t job_ = -1;
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

TEST(KeyWaitTest, SignalsLeaveTheTerminalAsItWas) {
  enum Outcome { kDies, kStopsAndResumes, kIgnored };
  struct Case {
    const char* what;
    int signal_number;
    const char* keys;  // typed instead of sending the signal
    int ignored_at_start;
    Outcome outcome;
  };
  const Case cases[] = {
      {"Ctrl+C", SIGINT, "\x03", 0, kDies},
      {"Ctrl+\\", SIGQUIT, "\x1c", 0, kDies},
      {"SIGTERM", SIGTERM, nullptr, 0, kDies},
      {"SIGHUP", SIGHUP, nullptr, 0, kDies},
      {"Ctrl+Z, then SIGCONT", SIGTSTP, "\x1a", 0, kStopsAndResumes},
      {"Ctrl+C ignored by the caller", SIGINT, "\x03", SIGINT, kIgnored},
  };
  for (const Case& c : cases) {
    TerminalRun run({PELMODE_BINARY, "1"}, c.ignored_at_start);
    ASSERT_NE(run.Read(kPrompt, std::chrono::seconds(10)).find(kPrompt),
              std::string::npos) << c.what;
    ASSERT_TRUE(run.AwaitsKey()) << c.what;
    if (c.keys) {
      run.Type(c.keys);
    } else {
      kill(run.job(), c.signal_number);
    }
    if (c.outcome == kStopsAndResumes) {
      ASSERT_TRUE(run.Stopped()) << c.what;
      EXPECT_TRUE(run.SettingsRestored()) << c.what << ": while stopped";
      kill(run.job(), SIGCONT);
    }
    if (c.outcome != kDies) {
      EXPECT_TRUE(run.AwaitsKey()) << c.what << ": the wait goes on";
      run.Type("q");
    }
    const int status = run.Wait();
    if (c.outcome == kDies) {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal_number)
          << c.what << ": status " << status;
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2)
          << c.what << ": status " << status;
    }
    EXPECT_TRUE(run.SettingsRestored()) << c.what;
  }
}

}  // namespace
