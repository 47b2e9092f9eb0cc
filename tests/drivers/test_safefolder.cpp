#include "drivers/safefolder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "casename.h"
#include "platform/invoker/invoker.h"
#include "testmachine.h"

namespace fs = std::filesystem;

namespace {

constexpr uid_t kUser = 65534;
constexpr const char* kSecret = "VICTIM root-only bytes";

std::string Slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void Write(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

// Whether any file below folder holds the victim's bytes.
bool HoldsSecret(const fs::path& folder) {
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file() && Slurp(it->path()).find(kSecret) != std::string::npos) return true;
  return false;
}

struct RaceRow {
  const char* name;
  const char* action;    // the racer's action, "" for none
  const char* argument;  // its path below the package, and a target or size
  const char* extra;
  drivers::UnpackCode expected;
  const char* member;  // the member the refusal names
};

class TreeCopy : public testing::TestWithParam<RaceRow> {};

// Root copies a package folder owned by an unprivileged user, on the user's
// behalf (SUDO_UID), while that user changes it at root's first read of the
// package's first file (a.bin, sorted first, 32 MiB). A root-only folder
// beside it is the victim: none of its bytes may reach the copy, and the
// refusal names what was wrong.
TEST_P(TreeCopy, RefusesWhatTheUserSwapsInAndCopiesNothingOfRoot) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to copy a tree of another user";
  const RaceRow& row = GetParam();
  kxtest::TempDir dir;
  fs::permissions(dir.path(), fs::perms(0755));
  const fs::path secret = dir.path() / "secret", pkg = dir.path() / "pkg", out = dir.path() / "out";
  fs::create_directories(secret);
  fs::permissions(secret, fs::perms(0700));
  Write(secret / "secret.inf", kSecret);
  fs::permissions(secret / "secret.inf", fs::perms(0600));
  fs::create_directories(pkg / "b");
  fs::create_directories(out);
  Write(pkg / "b" / "x.inf", "[Version]\n");
  Write(pkg / "c.sys", "driver");
  Write(pkg / "a.bin", "");
  fs::resize_file(pkg / "a.bin", 32u << 20);
  // A hard link into the user's folder to a file only root reads (sorted
  // last: each race meets its own fault first).
  ASSERT_EQ(::link((secret / "secret.inf").c_str(), (pkg / "h.sys").c_str()), 0);
  for (const auto& entry : fs::recursive_directory_iterator(pkg))
    ASSERT_EQ(::lchown(entry.path().c_str(), kUser, kUser), 0);
  ASSERT_EQ(::chown(pkg.c_str(), kUser, kUser), 0);
  ASSERT_EQ(::chown((secret / "secret.inf").c_str(), 0, 0), 0);  // the link's file stays root's

  std::FILE* racer = nullptr;
  if (*row.action) {
    const std::string command = std::string("setpriv --reuid=65534 --regid=65534 --clear-groups -- ") + KX_RACER +
                                " " + (pkg / "a.bin").string() + " " + row.action + " " + (pkg / row.argument).string() +
                                " " + row.extra;
    racer = ::popen(command.c_str(), "r");
    ASSERT_NE(racer, nullptr);
    char line[16] = {};
    ASSERT_NE(std::fgets(line, sizeof line, racer), nullptr);
    ASSERT_STREQ(line, "ready\n");
  }
  setenv("SUDO_UID", "65534", 1);
  platform::invoker::Fd from(platform::invoker::Open(pkg.string(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
  ASSERT_TRUE(from);
  const drivers::UnpackResult result = drivers::CopyTreeFrom(from.get(), out.string(), "", {64u << 20, 100}, true);
  unsetenv("SUDO_UID");
  if (racer) {
    EXPECT_EQ(::pclose(racer), 0) << "the racer did not act";
  }

  EXPECT_EQ(result.code, row.expected) << result.detail;
  EXPECT_EQ(result.detail.rfind(row.member, 0), 0u) << result.detail;
  EXPECT_FALSE(HoldsSecret(out)) << "root's bytes reached the copy";
  EXPECT_EQ(Slurp(secret / "secret.inf"), kSecret);
}

const RaceRow kRaces[] = {
    {"FolderSwappedForALinkToRootsFolder", "link", "b", "../secret", drivers::UnpackCode::Link, "b"},
    {"FifoSwappedInForAFile", "fifo", "c.sys", "", drivers::UnpackCode::Link, "c.sys"},
    {"FileGrownPastTheCapWhileCopied", "grow", "a.bin", "1073741824", drivers::UnpackCode::TooLarge, "a.bin"},
    {"HardLinkToAFileOnlyRootReads", "", "", "", drivers::UnpackCode::Unreadable, "h.sys: Permission denied"},
};
INSTANTIATE_TEST_SUITE_P(Races, TreeCopy, testing::ValuesIn(kRaces), kxtest::ByName());

// The copy of a tree the program owns leaves links and special files out
// and still copies the rest.
TEST(TreeCopyWithoutLinks, LeavesLinksAndFifosOutAndCopiesTheRest) {
  kxtest::TempDir dir;
  const fs::path from = dir.path() / "from", to = dir.path() / "to";
  fs::create_directories(from / "sub");
  fs::create_directories(to);
  Write(from / "sub" / "a.inf", "inf");
  fs::create_symlink("/etc/passwd", from / "link");
  ASSERT_EQ(::mkfifo((from / "pipe").c_str(), 0644), 0);
  std::string error;
  ASSERT_TRUE(drivers::CopyTreeWithoutLinks(from.string(), to.string(), "x", error)) << error;
  EXPECT_EQ(Slurp(to / "x" / "sub" / "a.inf"), "inf");
  EXPECT_FALSE(fs::exists(fs::symlink_status(to / "x" / "link")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(to / "x" / "pipe")));
}

}  // namespace
