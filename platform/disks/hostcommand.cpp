#include "platform/disks/hostcommand.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace platform::disks {

namespace {

constexpr const char* kSystemToolFolders[] = {"/usr/sbin", "/usr/bin", "/sbin", "/bin"};
// What a tool finds in its environment: nothing of the caller's.
constexpr const char* kToolEnvironment[] = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LC_ALL=C.UTF-8", nullptr};

bool IsSystemExecutable(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == 0 &&
         (st.st_mode & (S_IWGRP | S_IWOTH)) == 0 && (st.st_mode & S_IXUSR) != 0;
}

}  // namespace

std::string SystemToolPath(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return {};
  for (const char* folder : kSystemToolFolders) {
    const std::string path = std::string(folder) + "/" + name;
    if (IsSystemExecutable(path)) return path;
  }
  return {};
}

CommandResult RunCommand(const std::vector<std::string>& argv) {
  CommandResult result;
  if (argv.empty()) return result;
  const std::string program = SystemToolPath(argv[0]);
  if (program.empty()) {
    result.output = argv[0] + ": not found in the system's program folders";
    return result;
  }
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(),
                         const_cast<char* const*>(kToolEnvironment));
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    result.output = argv[0] + ": cannot be started";
    return result;
  }
  char buf[4096];
  for (;;) {
    ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    result.output.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace platform::disks
