// Host programs run by a root process: by absolute path only, with nothing
// of the caller's environment or signal mask, output capped, files capped,
// stopped at their timeout, and never outliving us.
#include "platform/process/hostprogram.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "testmachine.h"

using namespace platform;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct Row {
  const char* name;
  std::string path;
  std::vector<std::string> args;
  std::function<void(HostProgram&)> adjust;
  bool started;
  int exitCode;
  std::string output;  // the whole output, or its start when truncated
  bool truncated = false;
  bool timedOut = false;
};

TEST(HostProgram, RunsOnlyWhatItIsToldWithWhatItIsGiven) {
  kxtest::TempDir dir;
  const std::string big = dir.str() + "/big";
  const std::string writable = dir.str() + "/true";
  fs::copy_file("/bin/true", writable);
  fs::permissions(writable, fs::perms::all);
  const std::vector<Row> rows = {
      {"sees only its own environment", "/usr/bin/env", {}, nullptr, true, 0,
       "PATH=/usr/sbin:/usr/bin:/sbin:/bin\nLC_ALL=C.UTF-8\n"},
      {"starts with no signal blocked", "/usr/bin/grep", {"^SigBlk", "/proc/self/status"}, nullptr, true, 0,
       "SigBlk:\t0000000000000000\n"},
      {"keeps output up to the cap and reads the rest away", "/usr/bin/head", {"-c", "3000000", "/dev/zero"},
       [](HostProgram& p) { p.outputCap = 1000; }, true, 0, std::string(1000, '\0'), true},
      {"is killed at its timeout", "/bin/sleep", {"30"}, [](HostProgram& p) { p.timeout = 200ms; }, true,
       128 + SIGKILL, "", false, true},
      {"writes no file past its cap", "/bin/sh", {"-c", "head -c 10000 /dev/zero > " + big},
       [](HostProgram& p) { p.maxFileBytes = 4096; }, true, 128 + SIGXFSZ, "File size limit exceeded\n"},
      {"does not wait for a background child holding the output", "/bin/sh", {"-c", "sleep 3 & echo up"}, nullptr,
       true, 0, "up\n"},
      {"refuses a relative path", "sh", {"-c", "true"}, nullptr, false, -1, ""},
      {"refuses a program others can write", writable, {}, nullptr, false, -1, ""},
  };
  // What we block for ourselves (a thread waiting for Ctrl+C) and what our
  // environment holds must not reach the program.
  sigset_t block, saved;
  sigemptyset(&block);
  sigaddset(&block, SIGINT);
  sigaddset(&block, SIGTERM);
  ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &block, &saved), 0);
  ::setenv("KX_CALLER_SECRET", "1", 1);
  for (const Row& row : rows) {
    HostProgram program;
    program.path = row.path;
    program.args = row.args;
    if (row.adjust) row.adjust(program);
    const auto begun = std::chrono::steady_clock::now();
    const HostProgramResult result = RunHostProgram(program);
    EXPECT_LT(std::chrono::steady_clock::now() - begun, 2500ms) << row.name;
    EXPECT_EQ(result.started, row.started) << row.name;
    EXPECT_EQ(result.error, row.started ? 0 : EINVAL) << row.name;
    EXPECT_EQ(result.exitCode, row.exitCode) << row.name << ": " << result.output;
    EXPECT_EQ(result.output, row.output) << row.name;
    EXPECT_EQ(result.truncated, row.truncated) << row.name;
    EXPECT_EQ(result.timedOut, row.timedOut) << row.name;
  }
  ::unsetenv("KX_CALLER_SECRET");
  ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  EXPECT_EQ(fs::file_size(big), 4096u);
}

// A program killed outright runs no clean-up: the program it was waiting
// for must not go on writing a disk nobody waits for.
TEST(HostProgram, EndsWhenTheProgramThatRanItIsKilled) {
  kxtest::TempDir dir;
  const std::string pidFile = dir.str() + "/pid";
  const pid_t runner = ::fork();
  if (runner == 0) {
    HostProgram program;
    program.path = "/bin/sh";
    program.args = {"-c", "echo $$ > " + pidFile + "; exec sleep 30"};
    (void)RunHostProgram(program);
    ::_exit(0);
  }
  ASSERT_GT(runner, 0);
  std::string pid;
  for (int i = 0; i < 200 && pid.empty(); ++i) {
    std::this_thread::sleep_for(10ms);
    std::ifstream(pidFile) >> pid;
  }
  ASSERT_FALSE(pid.empty());
  ::kill(runner, SIGKILL);
  ::waitpid(runner, nullptr, 0);
  // Gone, or ended and waiting for its new parent to collect it.
  auto gone = [&] {
    std::string stat;
    std::getline(std::ifstream("/proc/" + pid + "/stat"), stat);
    return stat.empty() || stat.find(") Z ") != std::string::npos;
  };
  for (int i = 0; i < 200 && !gone(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(gone()) << pid;
}

}  // namespace
