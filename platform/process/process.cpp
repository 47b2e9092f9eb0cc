#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <linux/close_range.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

#include "platform/lasterror.h"
#include "platform/machine/machine.h"
#include "platform/process/process.h"
#include "platform/text.h"

extern char** environ;

namespace platform {

namespace {

// Descriptors marked close-on-exec one by one where the kernel has no
// close_range (before 5.11).
constexpr int kFallbackFdLimit = 4096;
constexpr const char* kPrefixVariable = "KESTRUNEX_PREFIX";

int OpenPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
  return -1;
#endif
}

// Signals a tool starts with at their defaults, even where we ignore them.
constexpr int kDefaultSignals[] = {SIGINT, SIGTERM, SIGQUIT, SIGHUP, SIGPIPE, SIGCHLD};

// The child side, between fork and exec: async-signal-safe calls only.
[[noreturn]] void BecomeTool(const char* program, char* const argv[], char* const envp[], int outputFd, int devNull,
                             bool ownGroup, pid_t parent, int statusFd) {
  // A program killed outright (SIGKILL, the out-of-memory killer) runs no
  // clean-up of its own: its tool must not live on, writing an image or a
  // disk nobody waits for. The kernel ends the tool when the thread that
  // started it ends, so a tool is started on a thread that waits for it.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(127);  // we died before the request took hold
  // A hidden tool gets its own process group, so the terminal's Ctrl+C
  // reaches us, not it: we decide whether to stop it.
  if (ownGroup) ::setpgid(0, 0);
  // The tool starts with no signal blocked and the common ones at their
  // defaults, whatever we blocked or ignored for ourselves (a command that
  // waits for Ctrl+C on a thread of its own blocks it everywhere else). Our
  // handlers go too, so none runs here before the exec.
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) {
    struct sigaction current {};
    if (::sigaction(sig, nullptr, &current) == 0 && current.sa_handler != SIG_IGN && current.sa_handler != SIG_DFL)
      ::sigaction(sig, &byDefault, nullptr);
  }
  for (int sig : kDefaultSignals) ::sigaction(sig, &byDefault, nullptr);
  ::dup2(devNull, 0);
  const int out = outputFd >= 0 ? outputFd : devNull;
  ::dup2(out, 1);
  ::dup2(out, 2);
  // Nothing else of ours reaches the tool: another tool's pipe kept open by
  // it would never report end of data, and our named lock must end with us,
  // not with a tool that outlives us. (The status pipe is closed by the
  // exec as well: end of data there says the exec worked.)
  if (::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
    for (int fd = 3; fd < kFallbackFdLimit; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::execve(program, argv, envp);
  const int error = errno;
  [[maybe_unused]] const ssize_t written = ::write(statusFd, &error, sizeof error);
  ::_exit(127);
}

// Starts the tool; its pid, or -1 with errno set. Made with fork, not
// posix_spawn, because the child must ask for PR_SET_PDEATHSIG itself.
pid_t SpawnTool(const char* program, char* const argv[], char* const envp[], int outputFd, bool ownGroup) {
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
  if (pid == 0) BecomeTool(program, argv, envp, outputFd, devNull, ownGroup, parent, status[1]);
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
    ::waitpid(pid, nullptr, 0);
    errno = execError;
    return -1;
  }
  return pid;
}

}  // namespace

Process::~Process() {
  // A child still running is left running (see the header); one that has
  // ended is reaped so it does not linger as a zombie.
  if (pid_ > 0 && !reaped_) {
    siginfo_t info{};
    ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG);
  }
  if (pidFd_ >= 0) ::close(pidFd_);
}

bool Process::Start(const std::wstring& commandLine, const StartInfo& info) {
  std::lock_guard lock(mutex_);
  if (pid_ > 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (commandLine.size() >= kMaxCommandLine) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  const std::vector<std::wstring> args = SplitCommandLine(commandLine);
  if (args.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  const std::string program = ResolveProgram(args.front());
  if (program.empty()) return false;

  std::vector<std::string> argStore;
  argStore.reserve(args.size());
  for (const std::wstring& arg : args) argStore.push_back(AnsiFromWide(arg));
  std::vector<char*> argv;
  for (std::string& arg : argStore) argv.push_back(arg.data());
  argv.push_back(nullptr);

  // The child runs on this process's machine: it is given its prefix (whose
  // machine.ini declares the drives), whatever the caller's environment says.
  std::string prefixVar = std::string(kPrefixVariable) + "=" + CurrentMachine().Prefix();
  std::vector<char*> envp;
  for (char** e = environ; e && *e; ++e)
    if (std::strncmp(*e, kPrefixVariable, std::strlen(kPrefixVariable)) != 0 ||
        (*e)[std::strlen(kPrefixVariable)] != '=')
      envp.push_back(*e);
  envp.push_back(prefixVar.data());
  envp.push_back(nullptr);

  const int outputFd = info.output ? info.output->WriteFd() : -1;
  const pid_t pid = SpawnTool(program.c_str(), argv.data(), envp.data(), outputFd, info.hidden);
  if (pid < 0) {
    const int err = errno;
    SetLastError(err == ENOEXEC ? ERROR_ACCESS_DENIED : ErrorFromErrno(err));
    return false;
  }
  pid_ = pid;
  pidFd_ = OpenPidFd(pid);
  reaped_ = false;
  exitCode_ = STILL_ACTIVE;
  terminatedWithCode_ = false;
  return true;
}

bool Process::ReapLocked(bool block) {
  if (reaped_) return true;
  siginfo_t info{};
  int r;
  do {
    r = ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | (block ? 0 : WNOHANG));
  } while (r < 0 && errno == EINTR);
  if (r < 0 || info.si_pid == 0) return false;
  reaped_ = true;
  if (terminatedWithCode_) exitCode_ = terminateCode_;
  else if (info.si_code == CLD_EXITED) exitCode_ = static_cast<DWORD>(info.si_status);
  else exitCode_ = static_cast<DWORD>(128 + info.si_status);
  return true;
}

bool Process::GetExitCode(DWORD* code) {
  std::lock_guard lock(mutex_);
  if (pid_ <= 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  ReapLocked(false);
  if (code) *code = reaped_ ? exitCode_ : STILL_ACTIVE;
  return true;
}

DWORD Process::Wait(DWORD ms) {
  {
    std::lock_guard lock(mutex_);
    if (pid_ <= 0) return WAIT_FAILED;
    if (ReapLocked(false)) return WAIT_OBJECT_0;
  }
  if (pidFd_ >= 0) {
    pollfd p{pidFd_, POLLIN, 0};
    const int timeout = ms == INFINITE ? -1 : static_cast<int>(ms > INT_MAX ? INT_MAX : ms);
    int r;
    do {
      r = ::poll(&p, 1, timeout);
    } while (r < 0 && errno == EINTR);
    std::lock_guard lock(mutex_);
    return ReapLocked(false) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  }
  // Without process descriptors: look every few milliseconds.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (ReapLocked(false)) return WAIT_OBJECT_0;
    }
    if (ms != INFINITE && std::chrono::steady_clock::now() >= deadline) return WAIT_TIMEOUT;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool Process::Terminate(DWORD exitCode) {
  std::lock_guard lock(mutex_);
  if (pid_ <= 0 || reaped_ || ReapLocked(false)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  // The child is not reaped yet, so its pid cannot have been reused.
  if (::kill(pid_, SIGKILL) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  terminatedWithCode_ = true;
  terminateCode_ = exitCode;
  ReapLocked(true);
  return true;
}

}  // namespace platform
