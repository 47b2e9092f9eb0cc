#include "platform/fs/tempfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/fs/paths.h"
#include "platform/lasterror.h"
#include "platform/text.h"
#include "testmachine.h"

namespace fs = std::filesystem;

namespace {

// The disk tool's script is made in a folder and rewritten before each run.
// Whoever else can write that folder may swap the file for a link to a file
// of root's, or for a file of their own: the rewrite goes through neither.
TEST(TempFile, TheRewriteNeverGoesThroughWhatAnotherUserPutInThePlaceOfOurFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  kxtest::TestMachine machine;
  const fs::path folder = machine.Root('C') / "shared";
  fs::create_directories(folder);
  ::chmod(machine.dir().path().c_str(), 0755);
  ::chmod(machine.Root('C').c_str(), 0755);
  ::chmod(folder.c_str(), 0777);
  const fs::path victim = machine.Root('C') / "victim";
  std::ofstream(victim) << "keep";
  const struct {
    const char* what;
    std::string swap;  // run as user 65534 on the made file
  } cases[] = {
      {"a link to a root file", "rm -f \"$f\" && ln -s '" + victim.string() + "' \"$f\""},
      {"a file of another user", "rm -f \"$f\" && echo theirs > \"$f\""},
  };
  for (const auto& c : cases) {
    std::wstring path;
    ASSERT_NE(platform::GetTempFileName(L"C:\\shared", L"_", &path), 0u) << c.what;
    std::string host;
    ASSERT_TRUE(platform::ResolvePath(path, host));
    struct stat st {};
    ASSERT_EQ(::lstat(host.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << c.what;
    ASSERT_EQ(kxtest::AsNobody("f='" + host + "'; " + c.swap), 0) << c.what;
    EXPECT_FALSE(platform::RewriteExistingFile(path, "sel disk 0\r\nclean\r\n")) << c.what;
    EXPECT_EQ(platform::GetLastError(), platform::ERROR_ACCESS_DENIED) << c.what;
    EXPECT_EQ(kxtest::ReadHostFile(victim), "keep") << c.what;
    fs::remove(host);
  }
  // Our own file is rewritten.
  std::wstring path;
  ASSERT_NE(platform::GetTempFileName(L"C:\\shared", L"_", &path), 0u);
  EXPECT_TRUE(platform::RewriteExistingFile(path, "exit\r\n"));
}

}  // namespace
