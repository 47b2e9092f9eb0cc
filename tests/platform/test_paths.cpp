#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/fs/files.h"
#include "platform/lasterror.h"
#include "platform/fs/paths.h"
#include "testmachine.h"

using namespace platform;

TEST(Paths, DriveLettersResolveToTheirFolders) {
  kxtest::TestMachine m({{.letter = 'E', .type = "cdrom"}});
  m.WriteFile('E', "sources/boot.wim", "x");
  std::string host;
  ASSERT_TRUE(ResolvePath(L"E:\\sources\\boot.wim", host));
  EXPECT_EQ(host, (m.Root('E') / "sources/boot.wim").string());
  ASSERT_TRUE(ResolvePath(L"\\\\?\\e:\\sources\\boot.wim", host));
  EXPECT_EQ(host, (m.Root('E') / "sources/boot.wim").string());
  ASSERT_TRUE(ResolvePath(L"E:\\", host));
  EXPECT_EQ(host, m.Root('E').string());
}

TEST(Paths, MissingComponentsAreMatchedWithoutRegardToCase) {
  kxtest::TestMachine m({{.letter = 'E', .type = "cdrom"}});
  m.WriteFile('E', "Sources/Install.WIM", "x");
  std::string host;
  ASSERT_TRUE(ResolvePath(L"E:\\SOURCES\\install.wim", host));
  EXPECT_EQ(host, (m.Root('E') / "Sources/Install.WIM").string());
  // Not there in any case: kept as written, ready to be created.
  ASSERT_TRUE(ResolvePath(L"E:\\sources\\new.txt", host));
  EXPECT_EQ(host, (m.Root('E') / "Sources/new.txt").string());
}

TEST(Paths, UnmappedLettersFailWithPathNotFound) {
  kxtest::TestMachine m;
  std::string host;
  SetLastError(0);
  EXPECT_FALSE(ResolvePath(L"Q:\\anything", host));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(Paths, NonAsciiAndPercentNamesSurviveTheRoundTrip) {
  kxtest::TestMachine m({{.letter = 'E'}});
  std::string host;
  ASSERT_TRUE(ResolvePath(L"E:\\100%s\\caf\u00e9\\\u65e5\u672c", host));
  EXPECT_EQ(SystemPathFromHost(host), L"E:\\100%s\\caf\u00e9\\\u65e5\u672c");
  EXPECT_EQ(SystemPathFromHost("/usr/share"), L"Z:\\usr\\share");
}

TEST(Paths, JoinPutsExactlyOneBackslashBetween) {
  EXPECT_EQ(JoinPath(L"E:\\", L"x"), L"E:\\x");
  EXPECT_EQ(JoinPath(L"E:\\a", L"\\x"), L"E:\\a\\x");
  EXPECT_EQ(JoinPath(L"", L"x"), L"x");
}

TEST(Paths, EntriesMadeOrRemovedAreSeenAtOnceWithoutRegardToCase) {
  kxtest::TestMachine m({{.letter = 'E'}});
  std::string host;
  ASSERT_TRUE(CreateDirectory(L"E:\\d"));
  ASSERT_TRUE(ResolvePath(L"E:\\d\\new.txt", host));  // lists the folder
  ASSERT_TRUE(CreateDirectory(L"E:\\d\\Sub"));
  ASSERT_TRUE(ResolvePath(L"E:\\d\\SUB\\f.txt", host));
  EXPECT_EQ(host, (m.Root('E') / "d/Sub/f.txt").string());
  ASSERT_TRUE(ResolvePath(L"E:\\D\\sub", host));
  EXPECT_EQ(host, (m.Root('E') / "d/Sub").string());
  ASSERT_TRUE(RemoveDirectory(L"E:\\d\\Sub"));
  ASSERT_TRUE(ResolvePath(L"E:\\d\\sub", host));
  EXPECT_EQ(host, (m.Root('E') / "d/sub").string());

  // A change made by someone else shows in the folder's time.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  m.WriteFile('E', "d/Other.TXT", "x");
  ASSERT_TRUE(ResolvePath(L"E:\\d\\other.txt", host));
  EXPECT_EQ(host, (m.Root('E') / "d/Other.TXT").string());
}
