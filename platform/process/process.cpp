#include <fcntl.h>
#include <poll.h>
#include <signal.h>
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
#include "platform/process/spawn.h"
#include "platform/text.h"

extern char** environ;

namespace platform {

namespace {

constexpr const char* kPrefixVariable = "KESTRUNEX_PREFIX";

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
  ChildSpawn spawn;
  spawn.program = program.c_str();
  spawn.argv = argv.data();
  spawn.envp = envp.data();
  spawn.outputFd = outputFd;
  spawn.ownGroup = info.hidden;
  const pid_t pid = SpawnChild(spawn);
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
