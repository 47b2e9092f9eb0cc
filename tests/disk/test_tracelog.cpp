#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <thread>

#include "disk/tracelog.h"
#include "platform/clock.h"
#include "platform/machine/machine.h"
#include "testmachine.h"

namespace {

// The log path is fixed on the first call of the process, so every test
// of this file shares one machine whose C: holds it.
class TraceLogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { machine_ = new kxtest::TestMachine(); }
  static void TearDownTestSuite() {
    delete machine_;
    machine_ = nullptr;
  }
  void SetUp() override { std::filesystem::remove(LogFile()); }
  static std::filesystem::path LogFile() {
    return machine_->Root('C') / "ProgramData/Ovanta/Kestrunex/RAREzodav.log";
  }
  static inline kxtest::TestMachine* machine_ = nullptr;
};

}  // namespace

TEST_F(TraceLogTest, LineHasTimeBlankMessageAndCrLf) {
  kxtest::FakeClock clock(9, 5, 3, 7);
  platform::ScopedClock scoped(clock);
  TraceLog(L"[UpdateResult] finish_Success");
  EXPECT_EQ(kxtest::ReadHostFile(LogFile()), "09:05:03.007 [UpdateResult] finish_Success\r\n");
  EXPECT_EQ(TraceLogPath(), L"C:\\ProgramData\\Ovanta\\Kestrunex\\RAREzodav.log");
}

TEST_F(TraceLogTest, MessagesAreWrittenVerbatimAsEightBitText) {
  kxtest::FakeClock clock(23, 59, 59, 999);
  platform::ScopedClock scoped(clock);
  TraceLog(L"[CopyOperation:: Srcpath]E:\\100%s\\%d%n");
  TraceLog(L"caf\u00e9 \u65e5");
  TraceLog(L"two\nlines");
  // A name from outside reaches nobody's terminal as commands.
  TraceLog(L"[drivers] x\x1b]0;t\x07\x9b" L"2J\ry");
  EXPECT_EQ(kxtest::ReadHostFile(LogFile()),
            "23:59:59.999 [CopyOperation:: Srcpath]E:\\100%s\\%d%n\r\n"
            "23:59:59.999 caf\xE9 ?\r\n"
            "23:59:59.999 two\r\nlines\r\n"
            "23:59:59.999 [drivers] x\\x1B]0;t\\x07\\x9B2J\\x0Dy\r\n");
}

TEST_F(TraceLogTest, MessagesAreCutTo1023Characters) {
  kxtest::FakeClock clock;
  platform::ScopedClock scoped(clock);
  TraceLog(std::wstring(1023, L'a'));
  TraceLog(std::wstring(1023, L'b') + L"c");
  std::string log = kxtest::ReadHostFile(LogFile());
  const std::string stamp = "09:05:03.007 ";
  EXPECT_EQ(log, stamp + std::string(1023, 'a') + "\r\n" + stamp + std::string(1023, 'b') + "\r\n");
}

TEST_F(TraceLogTest, LinesFromManyThreadsStayWhole) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 50; ++i) TraceLog(L"thread " + std::to_wstring(t) + L" line " + std::to_wstring(i));
    });
  for (auto& t : threads) t.join();
  std::string log = kxtest::ReadHostFile(LogFile());
  size_t lines = 0, pos = 0;
  while ((pos = log.find("\r\n", pos)) != std::string::npos) {
    ++lines;
    pos += 2;
  }
  EXPECT_EQ(lines, 200u);
}

TEST_F(TraceLogTest, AnUnwritableLogDropsTheLineSilently) {
  std::filesystem::create_directories(LogFile());  // a folder where the file should be
  TraceLog(L"lost");
  EXPECT_TRUE(std::filesystem::is_directory(LogFile()));
  std::filesystem::remove(LogFile());
}

// A prefix of the user root runs for (sudo): that user puts something at
// the log's name. Root's line goes only where the user could write it: a
// link to a root-only file or a FIFO takes no line and holds nothing up.
TEST_F(TraceLogTest, InAUsersPrefixTheLineGoesOnlyWhereTheUserCouldWrite) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act for another user";
  TraceLog(L"made");  // the log's folder exists
  kxtest::TempDir victimDir;
  const std::filesystem::path victim = victimDir.path() / "victim";
  std::ofstream(victim) << "VICTIM";
  std::filesystem::permissions(victim, std::filesystem::perms(0600));
  const std::string prefix = machine_->dir().str();
  ASSERT_EQ(std::system(("chmod 755 '" + prefix + "' && chown -R 65534:65534 '" + prefix + "'").c_str()), 0);
  ::setenv("SUDO_UID", "65534", 1);
  platform::ScopedMachine users(platform::Machine::FromProfile(machine_->ProfilePath(), prefix));
  ASSERT_TRUE(users.machine().InvokersPrefix());
  const std::string log = LogFile().string();
  const struct {
    std::string plant;  // run as the user; "" for none
    bool written;
  } rows[] = {{"ln -s '" + victim.string() + "' '" + log + "'", false}, {"mkfifo '" + log + "'", false}, {"", true}};
  for (const auto& row : rows) {
    std::filesystem::remove(LogFile());
    if (!row.plant.empty()) {
      ASSERT_EQ(kxtest::AsNobody(row.plant), 0) << row.plant;
    }
    TraceLog(L"root's line");
    EXPECT_EQ(kxtest::ReadHostFile(victim), "VICTIM") << row.plant;
    const bool regular = std::filesystem::is_regular_file(std::filesystem::symlink_status(LogFile()));
    EXPECT_EQ(regular && kxtest::ReadHostFile(LogFile()).find("root's line") != std::string::npos, row.written)
        << row.plant;
  }
  struct stat st {};
  ASSERT_EQ(::stat(LogFile().c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);  // made by the user's identity
  ::unsetenv("SUDO_UID");
}
