// The ISO runner on its own: reading the tool's progress out of a chunk,
// and the runs it refuses before any tool starts.
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "isosteptest.h"
#include "platform/fs/sysfolders.h"

namespace {

using namespace isotest;

TEST(IsoProgressValue, ReadsTheThreeCharactersBeforeTheFirstCompleteMark) {
  struct Case {
    const wchar_t* chunk;
    int value;
  } cases[] = {
      {L" 12% complete", 12},         {L"  7% complete", 7},
      {L"100% complete\r\n", 100},    {L"5% complete", 5},
      {L"Scanning source tree", -1},  {L"abc% complete", 0},
      {L"x-5% complete", 0},          {L" -5% complete", -5},         {L"1234% complete", 234},
      {L"% complete", 0},             {L"99% complete\n 50% complete", 99},
      {L"done 45% complete\n", 45},   {L"4 5% complete", 4},
  };
  for (const Case& c : cases) EXPECT_EQ(IsoProgressValue(c.chunk), c.value) << platform::AnsiFromWide(c.chunk);
}

// Runs whose tool is never started: a line that does not fit, a program
// that is not there.
TEST_F(IsoStepTest, RunsThatCannotStartTheToolFailWithATraceLine) {
  const std::string record = (machine.dir().path() / "ran.txt").string();
  Script("record:" + record);
  const std::wstring tool = L"\"" + platform::GetProgramFolder() + L"Oscdimg_x86\\Oscdimg\\oscdimg.exe\" ";
  struct Case {
    std::wstring cmd;
    std::string traced;
  } cases[] = {
      {tool + std::wstring(platform::kMaxCommandLine - tool.size(), L'x'),
       "[MakeISOFile::MakeISOThread]- command line too long:2048"},
      {L"\"C:\\Windows\\absent\\oscdimg.exe\" -lWIN7", "[MakeISOFile::MakeISOThread]- CreateProcess fail:2"},
  };
  MakeISOFile& runner = MakeISOFile::Instance();
  for (const Case& c : cases) {
    runner.SetCmd(c.cmd);
    EXPECT_FALSE(runner.Excute([](int, void*) {}, nullptr)) << c.traced;
    EXPECT_TRUE(Traced(c.traced)) << c.traced;
  }
  EXPECT_FALSE(fs::exists(record));
  // One character less fits.
  runner.SetCmd(tool + std::wstring(platform::kMaxCommandLine - 1 - tool.size(), L'x'));
  EXPECT_TRUE(runner.Excute([](int, void*) {}, nullptr));
  EXPECT_TRUE(fs::exists(record));
}

// The tool has ended but a child of it still holds the output open: the
// pipe never reports its end, and the reader must not wait for it.
TEST_F(IsoStepTest, ReaderNoticesTheToolsEndWhileAChildKeepsTheOutputOpen) {
  Script("orphan:20000|out: 40% complete\\n|exit:0");
  MakeISOFile& runner = MakeISOFile::Instance();
  runner.SetCmd(L"\"" + platform::GetProgramFolder() + L"Oscdimg_x86\\Oscdimg\\oscdimg.exe\"");
  int last = -1;
  const auto begun = std::chrono::steady_clock::now();
  EXPECT_TRUE(runner.Excute([](int value, void* data) { *static_cast<int*>(data) = value; }, &last));
  EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(10));
  EXPECT_EQ(last, 40);
}

// Output after "100% complete" beyond what the pipe holds: the reader keeps
// draining while it waits for the tool's end, so the run ends by itself.
TEST_F(IsoStepTest, OutputAfterTheLastProgressLineBeyondThePipesSizeDoesNotStall) {
  Script("out:100% complete\\n|fill:8000000|exit:0");
  MakeISOFile& runner = MakeISOFile::Instance();
  runner.SetCmd(L"\"" + platform::GetProgramFolder() + L"Oscdimg_x86\\Oscdimg\\oscdimg.exe\"");
  int last = -1;
  // A stalled reader is cancelled after 20 s, which fails the run.
  std::atomic<bool> done{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 200 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!done) runner.Cancle();
  });
  EXPECT_TRUE(runner.Excute([](int value, void* data) { *static_cast<int*>(data) = value; }, &last));
  done = true;
  watchdog.join();
  EXPECT_EQ(last, 100);
}

// With every descriptor of the process in use but one, the trace log can
// still be written but no pipe made: the run fails, nothing crashes.
TEST_F(IsoStepTest, PipeThatCannotBeMadeFailsTheRun) {
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizers' own memory checks need a pipe too: with no descriptor
  // left they report a type fault where there is none.
  GTEST_SKIP() << "not under the sanitizers: they need descriptors of their own";
#endif
  Script("exit:0");
  MakeISOFile& runner = MakeISOFile::Instance();
  runner.SetCmd(L"\"" + platform::GetProgramFolder() + L"Oscdimg_x86\\Oscdimg\\oscdimg.exe\"");
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = 256;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<int> held;
  for (int fd; (fd = ::dup(0)) >= 0;) held.push_back(fd);
  ::close(held.back());
  held.pop_back();
  int calls = 0;
  const bool result = runner.Excute([](int, void* n) { ++*static_cast<int*>(n); }, &calls);
  for (int fd : held) ::close(fd);
  ::setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_FALSE(result);
  EXPECT_EQ(calls, 0);
  bool traced = false;
  for (const std::string& line : Trace()) traced |= line.rfind("[MakeISOFile::MakeISOThread]- CreatePipe fail:", 0) == 0;
  EXPECT_TRUE(traced);
}

}  // namespace
