// Child processes started from command lines, their output through a pipe,
// exit codes, termination, events and the machine-wide named lock. Every
// child is the fake tool, reached as a Windows path through Z:.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/lasterror.h"
#include "platform/fs/paths.h"
#include "platform/process/process.h"
#include "platform/text.h"
#include "testmachine.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

std::wstring Tool() { return L"\"" + SystemPathFromHost(KX_FAKE_TOOL) + L"\""; }

std::wstring Line(const std::wstring& script, const std::wstring& args = L"") {
  return Tool() + L" --script \"" + script + L"\"" + (args.empty() ? L"" : L" " + args);
}

// Everything the child writes until it closes its output.
std::string ReadAll(Pipe& pipe) {
  std::string text;
  char buffer[4000];
  DWORD n = 0;
  while (pipe.Read(buffer, sizeof buffer, &n)) text.append(buffer, n);
  return text;
}

class ProcessTest : public ::testing::Test {
 protected:
  kxtest::TestMachine machine_;
};

TEST_F(ProcessTest, ChildReadsItsLineAsSplitAndWritesBothStreamsIntoThePipe) {
  Pipe pipe;
  ASSERT_TRUE(pipe.Create(2500000));
  Process child;
  StartInfo info;
  info.output = &pipe;
  ASSERT_TRUE(child.Start(Line(L"out:one\\n|args|err:two\\n", LR"(-bootdata:1#p0,e,b"E:\x y\etfsboot.com" "D:\Tmp0\" "E:\Out\.iso")"), info));
  pipe.CloseWriteEnd();
  EXPECT_EQ(ReadAll(pipe), "one\n[-bootdata:1#p0,e,bE:\\x y\\etfsboot.com]\n[D:\\Tmp0\\]\n[E:\\Out\\.iso]\ntwo\n");
  EXPECT_EQ(GetLastError(), ERROR_BROKEN_PIPE);
  EXPECT_EQ(child.Wait(INFINITE), WAIT_OBJECT_0);
  DWORD code = 1;
  EXPECT_TRUE(child.GetExitCode(&code));
  EXPECT_EQ(code, 0u);
}

// A tool sees the drives its caller sees, whatever the caller's own
// environment names.
TEST_F(ProcessTest, ChildRunsOnTheCallersMachine) {
  ::setenv("KESTRUNEX_PREFIX", "/nowhere/else", 1);
  Pipe pipe;
  ASSERT_TRUE(pipe.Create(4096));
  Process child;
  StartInfo info;
  info.output = &pipe;
  ASSERT_TRUE(child.Start(Line(L"env:KESTRUNEX_PREFIX|env:HOME"), info));
  pipe.CloseWriteEnd();
  const char* home = std::getenv("HOME");
  EXPECT_EQ(ReadAll(pipe), machine_.dir().str() + "\n" + (home ? home : "(unset)") + "\n");
  ::unsetenv("KESTRUNEX_PREFIX");
  child.Wait(INFINITE);
}

TEST_F(ProcessTest, ExitCodeIsStillActiveWhileRunningThenTheToolsOwn) {
  Process child;
  DWORD code = 0;
  EXPECT_FALSE(child.GetExitCode(&code));  // nothing started
  ASSERT_TRUE(child.Start(Line(L"sleep:300|exit:3"), {}));
  EXPECT_TRUE(child.GetExitCode(&code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(child.Wait(10), WAIT_TIMEOUT);
  EXPECT_EQ(child.Wait(5000), WAIT_OBJECT_0);
  EXPECT_TRUE(child.GetExitCode(&code));
  EXPECT_EQ(code, 3u);
  EXPECT_FALSE(child.Terminate(0));  // already ended
}

// A tool never outlives what started it: the kernel ends it with the
// starting thread (and so with a program killed outright). The Process
// object itself outlives the thread here, as a caller's would.
TEST_F(ProcessTest, ToolEndsWithTheThreadThatStartedIt) {
  Process child;
  bool started = false;
  std::thread starter([&] { started = child.Start(Line(L"sleep:60000"), {}); });
  starter.join();
  ASSERT_TRUE(started);
  EXPECT_EQ(child.Wait(5000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(child.GetExitCode(&code));
  EXPECT_EQ(code, 128u + SIGKILL);
}

TEST_F(ProcessTest, TerminateEndsTheChildWithTheGivenCodeAndEndsItsOutput) {
  Pipe pipe;
  ASSERT_TRUE(pipe.Create(4096));
  Process child;
  StartInfo info;
  info.output = &pipe;
  ASSERT_TRUE(child.Start(Line(L"out:started\\n|sleep:60000"), info));
  pipe.CloseWriteEnd();
  char buffer[64];
  DWORD n = 0;
  ASSERT_TRUE(pipe.Read(buffer, sizeof buffer, &n));
  EXPECT_EQ(std::string(buffer, n), "started\n");
  EXPECT_EQ(pipe.WaitForData(50), WAIT_TIMEOUT);
  EXPECT_TRUE(child.Terminate(0));
  DWORD code = 1;
  EXPECT_TRUE(child.GetExitCode(&code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(pipe.WaitForData(5000), WAIT_OBJECT_0);
  EXPECT_FALSE(pipe.Read(buffer, sizeof buffer, &n));
}

TEST_F(ProcessTest, StartRefusesLongLinesAndMissingPrograms) {
  struct Case {
    std::wstring line;
    DWORD error;
  } cases[] = {
      {Line(L"exit:0", std::wstring(kMaxCommandLine - Line(L"exit:0", L"").size() - 1, L'x')), ERROR_FILENAME_EXCED_RANGE},
      {LR"("C:\Windows\System32\absent.exe" /s x)", ERROR_FILE_NOT_FOUND},
      {L"   ", ERROR_FILE_NOT_FOUND},
  };
  for (const Case& c : cases) {
    Process child;
    SetLastError(0);
    EXPECT_FALSE(child.Start(c.line, {})) << c.line.size();
    EXPECT_EQ(GetLastError(), c.error) << c.line.size();
    EXPECT_FALSE(child.Started());
  }
  // One character shorter fits.
  Process child;
  const std::wstring fits = Line(L"exit:0", std::wstring(kMaxCommandLine - Line(L"exit:0", L"").size() - 2, L'x'));
  ASSERT_EQ(fits.size(), kMaxCommandLine - 1);
  EXPECT_TRUE(child.Start(fits, {}));
  EXPECT_EQ(child.Wait(5000), WAIT_OBJECT_0);
}

// A command that waits for Ctrl+C on a thread of its own blocks it in every
// other thread; the tools it starts must not inherit that, nor the
// terminal's Ctrl+C when hidden.
TEST_F(ProcessTest, ChildStartsWithNoSignalBlockedAndHiddenInItsOwnGroup) {
  sigset_t block, saved;
  sigemptyset(&block);
  sigaddset(&block, SIGINT);
  sigaddset(&block, SIGTERM);
  ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &block, &saved), 0);
  for (bool hidden : {true, false}) {
    Pipe pipe;
    ASSERT_TRUE(pipe.Create(4096));
    Process child;
    StartInfo info;
    info.output = &pipe;
    info.hidden = hidden;
    ASSERT_TRUE(child.Start(Line(L"signals"), info));
    pipe.CloseWriteEnd();
    EXPECT_EQ(ReadAll(pipe), hidden ? "group:own blocked:0\n" : "group:shared blocked:0\n");
    child.Wait(INFINITE);
  }
  ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
}

TEST(Event, ManualResetStaysSignalledUntilReset) {
  Event event;
  EXPECT_FALSE(event.IsSet());
  EXPECT_EQ(event.Wait(10), WAIT_TIMEOUT);
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    event.Set();
  });
  EXPECT_EQ(event.Wait(INFINITE), WAIT_OBJECT_0);
  setter.join();
  EXPECT_EQ(event.Wait(0), WAIT_OBJECT_0);  // still set: manual reset
  event.Reset();
  EXPECT_EQ(event.Wait(0), WAIT_TIMEOUT);
}

TEST_F(ProcessTest, NamedLockIsMachineWideAndDiesWithItsHolderEvenKilled) {
  const std::wstring name = L"KESTRUNE-TEST-" + std::to_wstring(::getpid());
  {
    NamedMutex first(name);
    ASSERT_TRUE(first.Owned());
    SetLastError(0);
    NamedMutex second(name);
    EXPECT_FALSE(second.Owned());
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  }
  Pipe pipe;
  ASSERT_TRUE(pipe.Create(4096));
  Process holder;
  StartInfo info;
  info.output = &pipe;
  ASSERT_TRUE(holder.Start(Line(L"lock:" + name + L"|sleep:60000"), info));
  pipe.CloseWriteEnd();
  char buffer[64];
  DWORD n = 0;
  ASSERT_TRUE(pipe.Read(buffer, sizeof buffer, &n));
  ASSERT_EQ(std::string(buffer, n), "locked\n");
  {
    NamedMutex refused(name);
    EXPECT_FALSE(refused.Owned());
    // The holder is named, so a refused command can say who has the lock.
    std::error_code ec;
    EXPECT_EQ(fs::canonical("/proc/" + std::to_string(refused.Holder()) + "/exe", ec), fs::canonical(KX_FAKE_TOOL));
  }
  ASSERT_TRUE(holder.Terminate(0));  // SIGKILL: no clean-up of its own
  EXPECT_TRUE(NamedMutex(name).Owned());
}

// Root and another user share the one lock, each way round; nothing of it
// lies in the file system for the other user to plant or change, so what
// that user can do is hold it, named, for as long as their process lives.
TEST_F(ProcessTest, NamedLockExcludesRootAndAnotherUserEachWayAndNamesTheHolder) {
  const std::wstring name = L"KESTRUNE-USERS-" + std::to_wstring(::getpid());
  const std::string tool = std::string("'") + KX_FAKE_TOOL + "' --script ";
  const std::string script = "lock:" + AnsiFromWide(name) + "|sleep:3000";
  // The other user first: we are refused and told which process holds it.
  int status = -1;
  std::thread user([&] { status = kxtest::AsNobody(tool + "'" + script + "' >/dev/null"); });
  // Bound once the kernel lists the name (taking it ourselves to look
  // would race the other user's run).
  const std::string listed = "@" + NamedMutex::SocketName(name);
  for (int tries = 0; tries < 250 && kxtest::ReadHostFile("/proc/net/unix").find(listed) == std::string::npos; ++tries)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  NamedMutex refused(name);
  ASSERT_FALSE(refused.Owned());
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  const int holder = refused.Holder();
  struct stat st {};
  ASSERT_GT(holder, 0);
  ASSERT_EQ(::stat(("/proc/" + std::to_string(holder)).c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kxtest::kNobodyUid);
  user.join();
  EXPECT_EQ(status, 0);
  // What the user plants where a lock file would lie changes nothing.
  const std::string planted = "/run/lock/kestrunex-" + AnsiFromWide(name) + ".lock";
  ASSERT_EQ(kxtest::AsNobody("mkdir '" + planted + "' && mkfifo '" + planted + "/x'"), 0);
  // Root first: the other user's run is refused.
  NamedMutex mine(name);
  kxtest::AsNobody("rm -rf '" + planted + "'");
  ASSERT_TRUE(mine.Owned());
  EXPECT_EQ(kxtest::AsNobody(tool + "'lock:" + AnsiFromWide(name) + "' | grep -qx busy"), 0);
}

}  // namespace
