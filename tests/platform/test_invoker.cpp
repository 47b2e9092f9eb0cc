#include "platform/invoker/invoker.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "casename.h"
#include "testmachine.h"

namespace fs = std::filesystem;

namespace {

// The invoking user for the object's lifetime (as sudo sets it).
class AsInvoker {
 public:
  explicit AsInvoker(const std::string& uid) { ::setenv("SUDO_UID", uid.c_str(), 1); }
  ~AsInvoker() { ::unsetenv("SUDO_UID"); }
};

struct OpenRow {
  const char* name;
  const char* uid;   // SUDO_UID, "" for none
  const char* path;  // below the test's folder
  int flags;
  int error;  // 0: opened
};

class InvokerOpen : public testing::TestWithParam<OpenRow> {};

// Root opens on the invoker's behalf with the invoker's rights: root's own
// files stay closed to them; without an invoker (or with root named as it)
// root opens as itself.
TEST_P(InvokerOpen, OpensWithTheInvokersRights) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act for another user";
  const OpenRow& row = GetParam();
  kxtest::TempDir dir;
  fs::permissions(dir.path(), fs::perms(0755));
  std::ofstream(dir.path() / "root-only") << "root";
  fs::permissions(dir.path() / "root-only", fs::perms(0600));
  fs::create_directories(dir.path() / "root-folder");
  fs::permissions(dir.path() / "root-folder", fs::perms(0700));
  fs::create_directories(dir.path() / "theirs");
  ASSERT_EQ(::chown((dir.path() / "theirs").c_str(), kxtest::kNobodyUid, kxtest::kNobodyUid), 0);
  ASSERT_EQ(kxtest::AsNobody("cd '" + dir.str() + "' && echo x > theirs/mine && chmod 600 theirs/mine "
                             "&& ln -s ../root-only theirs/link"),
            0);
  AsInvoker invoker(row.uid);
  if (!*row.uid) ::unsetenv("SUDO_UID");
  errno = 0;
  platform::invoker::Fd fd(platform::invoker::Open((dir.path() / row.path).string(), row.flags));
  EXPECT_EQ(fd ? 0 : errno, row.error);
}

const OpenRow kOpens[] = {
    {"RootOnlyFileRefused", "65534", "root-only", O_RDONLY, EACCES},
    {"RootOnlyFolderRefused", "65534", "root-folder", O_RDONLY | O_DIRECTORY, EACCES},
    {"UsersOwnPrivateFileOpened", "65534", "theirs/mine", O_RDWR, 0},
    {"UsersLinkToRootsFileRefused", "65534", "theirs/link", O_RDONLY, EACCES},
    {"LinkNotFollowedWhenAsked", "65534", "theirs/link", O_RDONLY | O_NOFOLLOW, ELOOP},
    {"UserWithoutAnEntryOpensNothing", "4000000", "theirs/mine", O_RDONLY, EPERM},  // fails closed
    {"NoInvokerRootOpens", "", "root-only", O_RDONLY, 0},
    {"RootAsInvokerRootOpens", "0", "root-only", O_RDONLY, 0},
};
INSTANTIATE_TEST_SUITE_P(Table, InvokerOpen, testing::ValuesIn(kOpens), kxtest::ByName());

// The helper has the user's identity whole: a file it makes belongs to the
// user and the user's group, and it writes only folders the user may write.
TEST(Invoker, HelperHasTheUsersIdentityAndWritesOnlyWhereTheUserMay) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act for another user";
  kxtest::TempDir dir;
  fs::permissions(dir.path(), fs::perms(0755));
  fs::create_directories(dir.path() / "theirs");
  ASSERT_EQ(::chown((dir.path() / "theirs").c_str(), kxtest::kNobodyUid, kxtest::kNobodyUid), 0);
  AsInvoker invoker("65534");
  platform::invoker::Fd theirs(platform::invoker::Open(dir.str() + "/theirs", O_RDONLY | O_DIRECTORY));
  platform::invoker::Fd ours(platform::invoker::Open(dir.str(), O_RDONLY | O_DIRECTORY));
  ASSERT_TRUE(theirs && ours);
  EXPECT_TRUE(platform::invoker::MayWriteFolder(theirs.get()));
  EXPECT_FALSE(platform::invoker::MayWriteFolder(ours.get()));
  platform::invoker::Fd made(platform::invoker::OpenAt(theirs.get(), "new", O_WRONLY | O_CREAT | O_EXCL, 0600));
  ASSERT_TRUE(made);
  struct stat st {};
  ASSERT_EQ(::fstat(made.get(), &st), 0);
  EXPECT_EQ(st.st_uid, kxtest::kNobodyUid);
  EXPECT_EQ(st.st_gid, kxtest::kNobodyUid);
  errno = 0;
  EXPECT_FALSE(platform::invoker::Fd(platform::invoker::OpenAt(ours.get(), "new", O_WRONLY | O_CREAT, 0600)));
  EXPECT_EQ(errno, EACCES);
  EXPECT_FALSE(fs::exists(dir.path() / "new"));
}

}  // namespace
