#include "platform/process/spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <linux/close_range.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

// Descriptors marked close-on-exec one by one where the kernel has no
// close_range (before 5.11).
constexpr int kFallbackFdLimit = 4096;
constexpr int kCannotStart = 127;

// Signals a child starts with at their defaults, even where we ignore them.
constexpr int kDefaultSignals[] = {SIGINT, SIGTERM, SIGQUIT, SIGHUP, SIGPIPE, SIGCHLD};

// Tells the parent why the child could not become the program, and ends it.
[[noreturn]] void FailStart(int statusFd, int error) {
  [[maybe_unused]] const ssize_t written = ::write(statusFd, &error, sizeof error);
  ::_exit(kCannotStart);
}

// The child side, between fork and exec: async-signal-safe calls only.
[[noreturn]] void BecomeChild(const ChildSpawn& spawn, int devNull, pid_t parent, int statusFd) {
  ::prctl(PR_SET_PDEATHSIG, spawn.deathSignal);
  if (::getppid() != parent) ::_exit(kCannotStart);  // we died before the request took hold
  if (spawn.ownGroup) ::setpgid(0, 0);
  // Our handlers go too, so none runs here before the exec.
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) {
    struct sigaction current {};
    if (::sigaction(sig, nullptr, &current) == 0 && current.sa_handler != SIG_IGN && current.sa_handler != SIG_DFL)
      ::sigaction(sig, &byDefault, nullptr);
  }
  for (int sig : kDefaultSignals) ::sigaction(sig, &byDefault, nullptr);
  if (spawn.maxFileBytes > 0) {
    const rlimit limit{spawn.maxFileBytes, spawn.maxFileBytes};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) FailStart(statusFd, errno);
  }
  const int out = spawn.outputFd >= 0 ? spawn.outputFd : devNull;
  if (::dup2(devNull, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0) FailStart(statusFd, errno);
  // The status pipe is closed by the exec as well: end of data there says
  // the exec worked.
  if (::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
    for (int fd = 3; fd < kFallbackFdLimit; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::execve(spawn.program, spawn.argv, spawn.envp);
  FailStart(statusFd, errno);
}

}  // namespace

// Made with fork, not posix_spawn: the child must ask for the death signal
// itself, and set its file-size cap, before the exec.
pid_t SpawnChild(const ChildSpawn& spawn) {
  int status[2];
  if (::pipe2(status, O_CLOEXEC) != 0) return -1;
  const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (devNull < 0) {
    const int error = errno;
    ::close(status[0]);
    ::close(status[1]);
    errno = error;
    return -1;
  }
  // Every signal blocked across the fork: no handler of ours runs in the
  // child before it has reset them.
  sigset_t all, saved;
  sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &saved);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) BecomeChild(spawn, devNull, parent, status[1]);
  const int forkError = errno;
  ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  ::close(status[1]);
  ::close(devNull);
  int execError = 0;
  ssize_t n = -1;
  if (pid > 0) {
    do {
      n = ::read(status[0], &execError, sizeof execError);
    } while (n < 0 && errno == EINTR);
  }
  ::close(status[0]);
  if (pid < 0) {
    errno = forkError;
    return -1;
  }
  if (n == static_cast<ssize_t>(sizeof execError)) {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    errno = execError;
    return -1;
  }
  return pid;
}

int OpenPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
  return -1;
#endif
}

}  // namespace platform
