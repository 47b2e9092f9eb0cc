#include "drivers/hosttool.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace drivers {
namespace {

constexpr size_t kOutputCap = 1u << 20;
constexpr int kCannotStart = 127;

}  // namespace

int RunHostTool(const std::string& program, const std::vector<std::string>& args, std::string& output,
                std::uint64_t maxFileBytes) {
  output.clear();
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  std::vector<std::string> argv0{program};
  argv0.insert(argv0.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv0) argv.push_back(a.data());
  argv.push_back(nullptr);
  char env0[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
  char env1[] = "LC_ALL=C.UTF-8";
  char* envp[] = {env0, env1, nullptr};
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    close(pipeFds[0]);
    close(pipeFds[1]);
    return -1;
  }
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(kCannotStart);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const rlimit limit{maxFileBytes, maxFileBytes};
    setrlimit(RLIMIT_FSIZE, &limit);
    const int null = open("/dev/null", O_RDONLY);
    if (null < 0 || dup2(null, 0) < 0 || dup2(pipeFds[1], 1) < 0 || dup2(pipeFds[1], 2) < 0) _exit(kCannotStart);
    closefrom(3);
    execve(program.c_str(), argv.data(), envp);
    _exit(kCannotStart);
  }
  close(pipeFds[1]);
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (output.size() < kOutputCap) output.append(buffer, static_cast<size_t>(n));
  }
  close(pipeFds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace drivers
