#!/usr/bin/env python3
# Runs the built Pelmode as a foreground job on a fresh pseudo-terminal, as a
# shell with job control does, and checks what its key wait does to that
# terminal. Usage: key_wait_test.py PELMODE
import fcntl, os, pty, resource, select, signal, sys, termios, time

PELMODE = sys.argv[1]
PROMPT = b"Press any key to exit...\r\n"
results = {"passed": 0, "failed": 0}


def report(name, problem):
    results["failed" if problem else "passed"] += 1
    print(f"FAIL {name}\n     {problem}" if problem else f"ok   {name}")


def eventually(check, seconds=10):
    deadline = time.monotonic() + seconds
    while not check() and time.monotonic() < deadline:
        time.sleep(0.01)
    return check()


# A session leader on a new terminal runs the job in its own process group,
# in the foreground, and ends as the job ended. The test keeps the terminal's
# far end, so its settings can be read after the job.
# With `alone`, the job is the session leader itself, as under `xterm -e`
# or `ssh -t`: no shell can take it back, so the kernel drops Ctrl+Z.
class Job:
    def __init__(self, argv, ignored=None, alone=False, nonblocking=False, stderr_closed=False):
        self.master, self.slave = pty.openpty()
        if nonblocking:
            fcntl.fcntl(self.slave, fcntl.F_SETFL, fcntl.fcntl(self.slave, fcntl.F_GETFL) | os.O_NONBLOCK)
        self.before = termios.tcgetattr(self.slave)
        self.output = b""
        job_pipe = os.pipe()
        self.leader = os.fork()
        if self.leader == 0:
            self._lead(argv, ignored, job_pipe[1], alone, stderr_closed)
        os.close(job_pipe[1])
        self.job = int(os.read(job_pipe[0], 16))

    def _lead(self, argv, ignored, job_pipe, alone, stderr_closed):
        os.setsid()
        fcntl.ioctl(self.slave, termios.TIOCSCTTY, 0)
        [os.dup2(self.slave, fd) for fd in range(3)]
        resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
        job = 0 if alone else os.fork()
        if job == 0:
            if alone:
                os.write(job_pipe, str(os.getpid()).encode())
            else:
                signal.signal(signal.SIGTTOU, signal.SIG_IGN)
                os.setpgid(0, 0)
                os.tcsetpgrp(0, os.getpid())
                signal.signal(signal.SIGTTOU, signal.SIG_DFL)
            signal.signal(signal.SIGPIPE, signal.SIG_DFL)
            if ignored:
                signal.signal(ignored, signal.SIG_IGN)
            if stderr_closed:
                os.close(2)
            os.execv(argv[0], argv)
        os.write(job_pipe, str(job).encode())
        status = os.waitpid(job, 0)[1]
        if os.WIFSIGNALED(status):
            signal.signal(os.WTERMSIG(status), signal.SIG_DFL)
            os.kill(os.getpid(), os.WTERMSIG(status))
        os._exit(os.WEXITSTATUS(status))

    def read(self, until=b"", seconds=10.0):
        deadline = time.monotonic() + seconds
        while (not until or until not in self.output) and select.select(
                [self.master], [], [], max(0, deadline - time.monotonic()))[0]:
            self.output += os.read(self.master, 256)
        return self.output

    def awaits_key(self):
        return eventually(lambda: termios.tcgetattr(self.slave)[3] & (termios.ICANON | termios.ECHO) == 0)

    def stopped(self):
        return eventually(lambda: open(f"/proc/{self.job}/stat").read().split(") ")[1][0] == "T")

    def restored(self):
        return termios.tcgetattr(self.slave) == self.before

    def type(self, keys):
        os.write(self.master, keys)

    def wait(self, seconds=10):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            pid, status = os.waitpid(self.leader, os.WNOHANG)
            if pid:
                return status
            time.sleep(0.01)
        os.kill(self.job, signal.SIGKILL)
        return os.waitpid(self.leader, 0)[1]


def arrow_key():
    # The next program reads whatever input is left, waiting 0.3 s at most.
    script = "\"$0\"; stty -icanon min 0 time 3; printf '<'; dd bs=16 count=1 2>/dev/null; printf '>'"
    job = Job(["/bin/sh", "-c", script, PELMODE])
    job.read(PROMPT)
    job.awaits_key()
    job.type(b"\x1b[A")
    report("the rest of an arrow key never reaches the next program",
           None if b"<>" in job.read(b"<>", 5) else job.output)
    job.wait()


def key_and_signals():
    ends, dies, stops, ignored = "ends the wait", "dies", "stops, then goes on", "is ignored"
    for name, number, keys, outcome, options in [
        ("a key", None, b"q", ends, {}),
        ("Ctrl+C", signal.SIGINT, b"\x03", dies, {}),
        ("Ctrl+\\", signal.SIGQUIT, b"\x1c", dies, {}),
        ("SIGTERM", signal.SIGTERM, None, dies, {}),
        ("SIGHUP", signal.SIGHUP, None, dies, {}),
        ("Ctrl+Z, SIGCONT, twice", signal.SIGTSTP, b"\x1a", stops, {}),
        ("Ctrl+C the caller ignores", signal.SIGINT, b"\x03", ignored, {"ignored": signal.SIGINT}),
        ("Ctrl+Z where the job cannot stop", signal.SIGTSTP, b"\x1a", ignored, {"alone": True}),
        ("a key on a non-blocking terminal", None, b"q", ends, {"nonblocking": True}),
        ("a key with standard error closed", None, b"q", ends, {"stderr_closed": True}),
    ]:
        job = Job([PELMODE], **options)
        problems = [] if PROMPT in job.read(PROMPT) and job.awaits_key() else ["no key wait"]
        printed = len(job.output)
        if "stderr_closed" in options:  # descriptor 2 is not free for the next file opened
            fd = f"/proc/{job.job}/fd/2"
            problems += [] if os.path.lexists(fd) and os.readlink(fd) == "/dev/null" else ["standard error left closed"]
        if "nonblocking" in options:  # waited on all the same, without spinning
            time.sleep(0.5)
            stat = f"/proc/{job.job}/stat"
            cpu = sum(map(int, open(stat).read().split(") ")[1].split()[11:13])) if os.path.exists(stat) else None
            problems += [] if cpu is not None and cpu < 10 else [f"returned at once or spun ({cpu} ticks)"]
        job.type(keys) if keys else os.kill(job.job, number)
        for again in range(2 if outcome == stops else 0):  # a second stop as well
            problems += [] if not again or job.awaits_key() and not job.type(keys) else ["no second wait"]
            problems += [] if job.stopped() else ["not stopped"]
            problems += [] if job.restored() else ["terminal not restored while stopped"]
            os.kill(job.job, signal.SIGCONT)
        if outcome in (stops, ignored):
            job.read(seconds=0.3)  # time for a handler to have run
            problems += [] if job.awaits_key() else ["the wait does not go on"]
            job.type(b"q")
        status = os.waitstatus_to_exitcode(job.wait())
        problems += [] if status == (-number if outcome == dies else 2) else [f"ended with {status}"]
        problems += [] if job.restored() else ["terminal not restored"]
        after = job.read(seconds=0.2)[printed:] if outcome in (ends, ignored) else b""
        problems += [] if after == b"" else [f"printed after the prompt: {after!r}"]
        nonblocking = fcntl.fcntl(job.slave, fcntl.F_GETFL) & os.O_NONBLOCK != 0
        problems += [] if nonblocking == ("nonblocking" in options) else ["flags not restored"]
        report(f"{name} {outcome}, the terminal as it was", "; ".join(problems))


key_and_signals()
arrow_key()
print(f"{results['passed']} passed, {results['failed']} failed")
sys.exit(1 if results["failed"] else 0)
