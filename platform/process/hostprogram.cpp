#include "platform/process/hostprogram.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/process/spawn.h"
#include "platform/uniquefd.h"

namespace platform {

namespace {

constexpr std::size_t kReadChunkBytes = 4096;
// Without process descriptors the end of a program whose output is still
// held open elsewhere is looked for this often.
constexpr int kFallbackPollMs = 50;

using Clock = std::chrono::steady_clock;

// The exit status once the child has ended (collecting it), or nothing.
std::optional<int> Collect(pid_t pid, bool block) {
  siginfo_t info{};
  int r;
  do {
    r = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | (block ? 0 : WNOHANG));
  } while (r < 0 && errno == EINTR);
  if (r < 0 || info.si_pid == 0) return std::nullopt;
  return info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
}

// Appends what the pipe holds now (all of it when the writers are gone);
// false once it reports its end.
bool Drain(int fd, HostProgramResult& result, std::size_t cap) {
  char buffer[kReadChunkBytes];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno == EAGAIN;
    if (n == 0) return false;
    const std::size_t room = cap > result.output.size() ? cap - result.output.size() : 0;
    const std::size_t keep = static_cast<std::size_t>(n) < room ? static_cast<std::size_t>(n) : room;
    result.output.append(buffer, keep);
    if (keep < static_cast<std::size_t>(n)) result.truncated = true;
  }
}

int MsUntil(std::optional<Clock::time_point> deadline) {
  if (!deadline) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(left > INT_MAX ? INT_MAX : left);
}

}  // namespace

std::vector<std::string> HostProgramEnvironment() { return {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LC_ALL=C.UTF-8"}; }

bool IsSystemProgram(const std::string& path) {
  struct stat st;
  return !path.empty() && path.front() == '/' && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         st.st_uid == 0 && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0 && (st.st_mode & S_IXUSR) != 0;
}

HostProgramResult RunHostProgram(const HostProgram& program) {
  HostProgramResult result;
  if (!IsSystemProgram(program.path)) {
    result.error = EINVAL;
    return result;
  }
  std::vector<std::string> argStore{program.path};
  argStore.insert(argStore.end(), program.args.begin(), program.args.end());
  std::vector<char*> argv;
  for (std::string& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStore = program.environment;
  std::vector<char*> envp;
  for (std::string& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    result.error = errno;
    return result;
  }
  UniqueFd readEnd(fds[0]);
  UniqueFd writeEnd(fds[1]);
  // Our end never blocks: a read waits in poll, where the deadline is kept.
  ::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK);
  ChildSpawn spawn;
  spawn.program = program.path.c_str();
  spawn.argv = argv.data();
  spawn.envp = envp.data();
  spawn.outputFd = writeEnd.get();
  spawn.maxFileBytes = program.maxFileBytes;
  spawn.deathSignal = program.deathSignal;
  const pid_t pid = SpawnChild(spawn);
  if (pid < 0) {
    result.error = errno;
    return result;
  }
  writeEnd.reset();
  result.started = true;
  UniqueFd pidFd(OpenPidFd(pid));
  const std::optional<Clock::time_point> deadline =
      program.timeout ? std::optional(Clock::now() + *program.timeout) : std::nullopt;

  // Read until the pipe ends or the program does: a background child of it
  // (a FUSE daemon) may hold the pipe long after.
  bool pipeOpen = true;
  std::optional<int> status;
  while (!status) {
    pollfd watch[2] = {{pipeOpen ? readEnd.get() : -1, POLLIN, 0}, {pidFd.get(), POLLIN, 0}};
    int timeout = MsUntil(deadline);
    if (pidFd.get() < 0 && (timeout < 0 || timeout > kFallbackPollMs)) timeout = kFallbackPollMs;
    const int ready = ::poll(watch, 2, timeout);
    if (ready < 0 && errno != EINTR) break;
    if (pipeOpen && (watch[0].revents & (POLLIN | POLLHUP | POLLERR))) pipeOpen = Drain(readEnd.get(), result, program.outputCap);
    status = Collect(pid, false);
    if (!status && deadline && Clock::now() >= *deadline) {
      ::kill(pid, SIGKILL);  // not collected yet, so the pid is still ours
      result.timedOut = true;
      status = Collect(pid, true);
    }
  }
  if (!status) status = Collect(pid, true);
  // What it wrote just before it ended is still in the pipe.
  if (pipeOpen) Drain(readEnd.get(), result, program.outputCap);
  result.exitCode = status.value_or(-1);
  return result;
}

}  // namespace platform
