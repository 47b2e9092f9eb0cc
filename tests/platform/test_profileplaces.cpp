#include "platform/machine/profileplaces.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "casename.h"
#include "platform/machine/machine.h"
#include "testmachine.h"

namespace fs = std::filesystem;

namespace {

struct PlaceRow {
  const char* name;
  bool usersPrefix;     // the prefix belongs to the user who ran sudo
  const char* profile;  // "@" stands for the test's folder
  const char* refusal;  // "" when the profile is taken
};

class ProfilePlaces : public testing::TestWithParam<PlaceRow> {};

std::string Expand(std::string text, const std::string& dir) {
  for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, dir);
  return text;
}

// What a profile names is checked as the profile's owner could use it: a
// user's profile only names what that user can open (and write, where root
// writes), root's own profile no place another user controls.
TEST_P(ProfilePlaces, NamesOnlyPlacesItsOwnerControls) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act for another user";
  const PlaceRow& row = GetParam();
  kxtest::TempDir dir;
  const std::string d = dir.str();
  fs::permissions(dir.path(), fs::perms(0755));
  fs::create_directories(dir.path() / "root-prefix");
  fs::create_directories(dir.path() / "rootlib");
  fs::create_directories(dir.path() / "sticky");
  fs::permissions(dir.path() / "sticky", fs::perms(01777));
  std::ofstream(dir.path() / "victim.img").close();
  fs::resize_file(dir.path() / "victim.img", 1 << 20);
  fs::permissions(dir.path() / "victim.img", fs::perms(0600));
  for (const char* theirs : {"user-prefix", "theirs"}) {
    fs::create_directories(dir.path() / theirs);
    ASSERT_EQ(::chown((dir.path() / theirs).c_str(), kxtest::kNobodyUid, kxtest::kNobodyUid), 0);
  }
  ASSERT_EQ(kxtest::AsNobody("cd '" + d + "' && mkdir theirs/lib && truncate -s 1M theirs/disk.img "
                             "&& echo 'CN=Test' > theirs/roots.txt && ln -s '" + d + "/rootlib' sticky/link"),
            0);
  const fs::path prefix = dir.path() / (row.usersPrefix ? "user-prefix" : "root-prefix");
  const fs::path profile = prefix / "machine.ini";
  std::ofstream(profile) << Expand(row.profile, d);
  ::setenv("SUDO_UID", std::to_string(kxtest::kNobodyUid).c_str(), 1);
  std::string refusal;
  try {
    const platform::Machine machine = platform::Machine::FromProfile(profile.string(), prefix.string());
    EXPECT_EQ(machine.InvokersPrefix(), row.usersPrefix);
    // A user's disk image is held open as the user: every later open
    // reaches that file through its descriptor.
    if (auto disk = machine.Disk(1); disk && row.usersPrefix) {
      EXPECT_EQ(disk->Backing().rfind("/proc/", 0), 0u);
    }
  } catch (const platform::ProfileError& e) {
    refusal = e.what();
  }
  ::unsetenv("SUDO_UID");
  if (*row.refusal) EXPECT_NE(refusal.find(Expand(row.refusal, d)), std::string::npos) << refusal;
  else EXPECT_EQ(refusal, "");
  struct stat st {};
  ASSERT_EQ(::stat((dir.path() / "victim.img").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(st.st_size, 1 << 20);
}

const PlaceRow kPlaces[] = {
    {"UsersDiskImageRootOnly", true, "[disk 1]\nimage = @/victim.img\nbus = usb\n",
     "the disk image @/victim.img cannot be opened as user 65534: Permission denied"},
    {"UsersDiscImageRootOnly", true, "[drive D]\nimage = @/victim.img\ntype = cdrom\n", "Permission denied"},
    {"UsersOwnDiskImage", true, "[disk 1]\nimage = @/theirs/disk.img\nbus = usb\n", ""},
    {"UsersFolderTheyCannotWrite", true, "[drive E]\nfolder = @/rootlib\ntype = fixed\n",
     "the folder @/rootlib cannot be written by user 65534"},
    {"UsersOwnFolder", true, "[drive E]\nfolder = @/theirs\ntype = fixed\n", ""},
    {"UsersLibraryInRootsFolder", true, "[drivers]\nlibrary = @/rootlib/lib\n",
     "the driver library: the folder @/rootlib cannot be written by user 65534"},
    {"UsersRootsFileRootOnly", true, "[drivers]\nroots = @/victim.img\n", "Permission denied"},
    {"RootsLibraryBehindAUsersLink", false, "[drivers]\nlibrary = @/sticky/link/lib\n",
     "@/sticky/link is a link of user 65534"},
    {"RootsLibraryOfAnotherUser", false, "[drivers]\nlibrary = @/theirs/lib\n", "@/theirs belongs to user 65534"},
    {"RootsRootsFileOfAnotherUser", false, "[drivers]\nroots = @/theirs/roots.txt\n",
     "@/theirs belongs to user 65534"},
    {"RootsOwnLibraryNotYetMade", false, "[drivers]\nlibrary = @/rootlib/new\n", ""},
};
INSTANTIATE_TEST_SUITE_P(Table, ProfilePlaces, testing::ValuesIn(kPlaces), kxtest::ByName());

}  // namespace

namespace {

// The records root keeps in a user's prefix: whatever the user puts at the
// fresh file's name, root writes only where the user could.
TEST(PrefixRecords, InAUsersPrefixARecordIsWrittenOnlyWhereTheUserCould) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act for another user";
  kxtest::TempDir dir;
  fs::permissions(dir.path(), fs::perms(0755));
  const fs::path prefix = dir.path() / "prefix", victim = dir.path() / "victim", record = prefix / "volumes.ini";
  std::ofstream(victim) << "VICTIM";
  fs::permissions(victim, fs::perms(0600));
  fs::create_directories(prefix);
  ASSERT_EQ(::chown(prefix.c_str(), kxtest::kNobodyUid, kxtest::kNobodyUid), 0);
  std::ofstream(prefix / "machine.ini") << "";
  ::setenv("SUDO_UID", std::to_string(kxtest::kNobodyUid).c_str(), 1);
  platform::ScopedMachine users(platform::Machine::FromProfile((prefix / "machine.ini").string(), prefix.string()));
  const struct {
    std::string plant;  // run as the user; "" for none
    bool written;
  } rows[] = {{"ln -s '" + victim.string() + "' '" + record.string() + ".new'", false},
              {"mkfifo '" + record.string() + ".new'", false},
              {"", true}};
  for (const auto& row : rows) {
    fs::remove(record.string() + ".new");
    if (!row.plant.empty()) {
      ASSERT_EQ(kxtest::AsNobody(row.plant), 0) << row.plant;
    }
    EXPECT_EQ(platform::ReplacePrefixFile(record.string(), "[volume E]\n"), row.written) << row.plant;
    std::ifstream in(victim);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "VICTIM") << row.plant;
  }
  struct stat st {};
  ASSERT_EQ(::stat(record.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kxtest::kNobodyUid);
  ::unsetenv("SUDO_UID");
}

}  // namespace
