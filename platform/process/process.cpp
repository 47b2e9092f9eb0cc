#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

#include "platform/lasterror.h"
#include "platform/machine.h"
#include "platform/process/process.h"
#include "platform/text.h"

extern char** environ;

namespace platform {

namespace {

constexpr const char* kPrefixVariable = "KESTRUNEX_PREFIX";

int OpenPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
  return -1;
#endif
}

// posix_spawn's attributes as one owned object: the child starts with no
// signal blocked and the common ones at their defaults, whatever the caller
// blocked or ignored for itself (a command that waits for Ctrl+C on a
// thread of its own blocks it everywhere else). A hidden child gets its own
// process group, so the terminal's Ctrl+C reaches us, not it: we decide
// whether to stop it.
class SpawnAttributes {
 public:
  explicit SpawnAttributes(bool ownGroup) {
    ::posix_spawnattr_init(&attr_);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGINT, SIGTERM, SIGQUIT, SIGHUP, SIGPIPE, SIGCHLD}) sigaddset(&defaults, sig);
    ::posix_spawnattr_setsigmask(&attr_, &none);
    ::posix_spawnattr_setsigdefault(&attr_, &defaults);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (ownGroup) {
      ::posix_spawnattr_setpgroup(&attr_, 0);
      flags |= POSIX_SPAWN_SETPGROUP;
    }
    ::posix_spawnattr_setflags(&attr_, flags);
  }
  ~SpawnAttributes() { ::posix_spawnattr_destroy(&attr_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  posix_spawnattr_t* get() { return &attr_; }

 private:
  posix_spawnattr_t attr_;
};

// posix_spawn's file actions as one owned object.
class SpawnActions {
 public:
  SpawnActions() { ::posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { ::posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

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

  SpawnActions actions;
  ::posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
  if (info.output && info.output->WriteFd() >= 0) {
    ::posix_spawn_file_actions_adddup2(actions.get(), info.output->WriteFd(), 1);
    ::posix_spawn_file_actions_adddup2(actions.get(), info.output->WriteFd(), 2);
  } else {
    ::posix_spawn_file_actions_addopen(actions.get(), 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_adddup2(actions.get(), 1, 2);
  }
  // Nothing else of ours reaches the child: another tool's pipe kept open
  // by it would never report end of data, and our named lock must end with
  // us, not with a tool that outlives us.
  ::posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);

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

  SpawnAttributes attributes(info.hidden);
  pid_t pid = -1;
  const int err = ::posix_spawn(&pid, program.c_str(), actions.get(), attributes.get(), argv.data(), envp.data());
  if (err != 0) {
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
