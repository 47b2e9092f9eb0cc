#include "platform/machine/prefixtrust.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/machine/machine.h"
#include "testmachine.h"

namespace fs = std::filesystem;

namespace {

// Sets an environment variable for the object's lifetime.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old, had_ = true;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() {
    if (had_) ::setenv(name_, previous_.c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::string previous_;
  bool had_ = false;
};

// Prefixes laid out by root and by an unprivileged user (65534), as a local
// attacker would prepare them for the next root run.
TEST(PrefixTrust, OnlyFoldersOfRootOrTheInvokingUserThatNobodyElseCanWriteAreUsed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  kxtest::TempDir dir;
  const fs::path root = dir.path();
  ::chmod(root.c_str(), 0755);
  fs::create_directories(root / "ours/prefix");
  fs::create_directories(root / "open");
  ::chmod((root / "open").c_str(), 0777);
  fs::create_directories(root / "sticky");
  ::chmod((root / "sticky").c_str(), 01777);
  ASSERT_EQ(kxtest::AsNobody("cd '" + root.string() + "' && mkdir open/prefix sticky/theirs sticky/theirs/prefix && "
                             "ln -s '" + (root / "sticky/theirs/prefix").string() + "' sticky/link && "
                             "mkdir sticky/theirs/roots"),
            0);
  fs::create_directories(root / "open/prefix2");
  fs::create_directories(root / "sticky/prefix");
  struct Case {
    std::string prefix;
    std::string refusedFolder;  // empty: used
  } cases[] = {
      {(root / "ours/prefix").string(), ""},
      {(root / "sticky/prefix").string(), ""},                                          // a sticky parent such as /tmp
      {(root / "open/prefix").string(), (root / "open").string()},                      // made by another user
      {(root / "open/prefix2").string(), (root / "open").string()},                     // ours, but its parent is open
      {(root / "sticky/theirs/prefix").string(), (root / "sticky/theirs").string()},   // their folder
      {(root / "sticky/link").string(), (root / "sticky/theirs").string()},             // a link to it
      {(root / "sticky").string(), (root / "sticky").string()},                         // writable by all itself
      {(root / "absent").string(), (root / "absent").string()},                         // never made here
  };
  for (const Case& c : cases) {
    std::string reason;
    const auto trusted = platform::TrustedPrefix(c.prefix, reason);
    if (c.refusedFolder.empty()) {
      EXPECT_TRUE(trusted.has_value()) << c.prefix << ": " << reason;
      EXPECT_NO_THROW(platform::Machine::ForPrefix(c.prefix)) << c.prefix;
    } else {
      EXPECT_FALSE(trusted.has_value()) << c.prefix;
      EXPECT_EQ(reason.rfind(c.refusedFolder + " ", 0), 0u) << c.prefix << ": " << reason;
      EXPECT_THROW(platform::Machine::ForPrefix(c.prefix), platform::PrefixError) << c.prefix;
      EXPECT_THROW(platform::Machine::Discover(c.prefix), platform::PrefixError) << c.prefix;
    }
  }
  // Nothing was made in a refused prefix.
  EXPECT_FALSE(fs::exists(root / "open/prefix/drive_c"));
  EXPECT_FALSE(fs::exists(root / "absent"));

  // The user who ran sudo (or pkexec) may own the prefix: "sudo ./run" in a
  // checkout of theirs.
  EXPECT_FALSE(platform::IsTrustedOwner(kxtest::kNobodyUid));
  {
    ScopedVariable sudo("SUDO_UID", std::to_string(kxtest::kNobodyUid));
    std::string reason;
    EXPECT_TRUE(platform::TrustedPrefix((root / "sticky/theirs/prefix").string(), reason).has_value()) << reason;
  }
  {
    ScopedVariable pkexec("PKEXEC_UID", std::to_string(kxtest::kNobodyUid));
    EXPECT_TRUE(platform::IsTrustedOwner(kxtest::kNobodyUid));
  }
}

// Root's home comes from the password database, never from a HOME another
// program set; the default prefix is never a shared folder such as /tmp.
TEST(PrefixTrust, RootsDefaultPrefixIsInItsOwnHomeWhateverHomeSays) {
  if (::geteuid() != 0) GTEST_SKIP() << "root's rule";
  ScopedVariable noPrefix("KESTRUNEX_PREFIX", "");
  ::unsetenv("KESTRUNEX_PREFIX");
  ScopedVariable home("HOME", "/tmp");
  EXPECT_EQ(platform::HomeFolder(), "/root");
  EXPECT_EQ(platform::DefaultPrefix(), "/root/.kestrunex");
  ::unsetenv("HOME");
  EXPECT_EQ(platform::DefaultPrefix(), "/root/.kestrunex");
}

// The dialogs start where the user who asked for the program keeps files.
TEST(PrefixTrust, InvokersHomeIsTheUserWhoStartedRoot) {
  if (::geteuid() != 0) GTEST_SKIP() << "root's rule";
  ScopedVariable sudo("SUDO_UID", "");
  ::unsetenv("SUDO_UID");
  ScopedVariable pkexec("PKEXEC_UID", "65534");
  ScopedVariable home("HOME", "/tmp");
  EXPECT_EQ(platform::InvokerHomeFolder(), "/nonexistent");  // nobody's, from the password database
  ::unsetenv("PKEXEC_UID");
  EXPECT_EQ(platform::InvokerHomeFolder(), "/root");
}

}  // namespace
