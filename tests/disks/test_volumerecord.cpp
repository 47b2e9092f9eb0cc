// The volume record in the prefix is read by later processes: whatever it
// says, it is read bounded, moves only the letters of its own disk onto our
// own mount folders, and releases only loop devices we attached.
#include "platform/disks/volumerecord.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "diskkit.h"
#include "platform/disks/recordcheck.h"
#include "platform/disks/volumemount.h"
#include "platform/machine/machine.h"

namespace fs = std::filesystem;
using kxtest::DiskMachine;
using kxtest::VirtualDisk;

namespace {

const char* const kOnePartition = "label: dos\\nstart=2048,type=c\\n";

std::string Sysfs(const std::string& loop, const std::string& attribute) {
  std::ifstream in("/sys/block/" + fs::path(loop).filename().string() + "/loop/" + attribute);
  std::string value;
  std::getline(in, value);
  return value;
}

// A process id that is certainly not running: a child that has ended.
int DeadPid() {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(0);
  ::waitpid(pid, nullptr, 0);
  return static_cast<int>(pid);
}

class VolumeRecordTest : public ::testing::Test {
 protected:
  VolumeRecordTest()
      : machine_({VirtualDisk{1, 64, "usb", true, kOnePartition}}, {},
                 "\n[drive E]\nfolder = dvd\ntype = cdrom\n[drive H]\nfolder = dvd\ntype = fixed\ndisk = 1\n"
                 "partition = 1\n") {
    fs::create_directories(machine_.dir().path() / "dvd");
    machine_.Install();
  }
  void WriteRecord(const std::string& text) { std::ofstream(Record()) << text; }
  fs::path Record() const { return machine_.dir().path() / "volumes.ini"; }
  std::string Ours() const { return platform::disks::MountFolderFor(1, 1); }

  DiskMachine machine_;
};

TEST_F(VolumeRecordTest, ARecordThatIsNoFileReadsAsNoneAtOnce) {
  ASSERT_EQ(::mkfifo(Record().c_str(), 0600), 0);  // would block a plain open for good
  EXPECT_TRUE(platform::disks::ReadVolumeRecord().empty());
  fs::remove(Record());
  fs::create_symlink("/dev/zero", Record());  // would grow the process without end
  EXPECT_TRUE(platform::disks::ReadVolumeRecord().empty());
  platform::disks::ApplyVolumeRecord();
  EXPECT_EQ(platform::CurrentMachine().Drive(L'E')->hostFolder, (machine_.dir().path() / "dvd").string());
}

TEST_F(VolumeRecordTest, RecordsMoveOnlyTheirOwnDisksLettersOntoOurMountFolders) {
  fs::create_directories(Ours());
  const std::string systemFolder = platform::CurrentMachine().Drive(L'C')->hostFolder;
  WriteRecord("[volume C]\ndisk = 1\npartition = 1\nfolder = " + Ours() +
              "\n"  // the system drive
              "[volume E]\ndisk = 1\npartition = 1\nfolder = " + Ours() +
              "\n"  // a drive of the profile's, not on disk 1
              "[volume Z]\ndisk = 1\npartition = 1\nfolder = " + Ours() +
              "\n"  // the host root
              "[volume G]\ndisk = 1\npartition = 1\nfolder = /etc\n"  // not our mount folder
              "[volume K]\ndisk = 1\npartition = 1\nfolder = " + Ours() + "\n");
  platform::disks::ApplyVolumeRecord();
  auto& m = platform::CurrentMachine();
  EXPECT_EQ(m.Drive(L'C')->hostFolder, systemFolder);
  EXPECT_EQ(m.Drive(L'E')->hostFolder, (machine_.dir().path() / "dvd").string());
  EXPECT_EQ(m.Drive(L'Z')->hostFolder, "/");
  EXPECT_FALSE(m.Drive(L'G').has_value());
  ASSERT_TRUE(m.Drive(L'K').has_value());  // a letter of disk 1's own
  EXPECT_EQ(m.Drive(L'K')->hostFolder, Ours());

  // The letter the profile gives disk 1's partition may carry it.
  WriteRecord("[volume H]\ndisk = 1\npartition = 1\nfolder = " + Ours() + "\n");
  platform::disks::ApplyVolumeRecord();
  EXPECT_EQ(m.Drive(L'H')->hostFolder, Ours());
  EXPECT_FALSE(m.Drive(L'K').has_value());
}

// A killed job's record names a loop device; by the time it is released the
// kernel may have given that number to someone else's file.
TEST_F(VolumeRecordTest, ReleaseDetachesOnlyTheLoopDeviceStillOverOurPartition) {
  if (::geteuid() != 0) GTEST_SKIP() << "loop devices need root";
  std::uint64_t start = 0, size = 0;
  ASSERT_TRUE(kxtest::SfdiskPartition(machine_.Image(1), 1, &start, &size));
  const fs::path other = machine_.dir().path() / "someone-elses.img";
  ASSERT_EQ(kxtest::Shell("truncate -s 8M '" + other.string() + "'"), 0);
  struct Case {
    const char* what;
    std::string attach;  // losetup arguments
    bool detached;
  } cases[] = {
      {"another file", "'" + other.string() + "'", false},
      {"our disk at another offset", "--offset 512 '" + machine_.Image(1).string() + "'", false},
      {"our partition", "--offset " + std::to_string(start) + " --sizelimit " + std::to_string(size) + " '" +
                            machine_.Image(1).string() + "'",
       true},
  };
  for (const Case& c : cases) {
    const std::string loop = kxtest::ShellOutput("losetup --find --show " + c.attach);
    ASSERT_EQ(loop.rfind("/dev/loop", 0), 0u) << c.what << ": " << loop;
    const std::string device = loop.substr(0, loop.find('\n'));
    const std::string backing = Sysfs(device, "backing_file");
    WriteRecord("[volume K]\ndisk = 1\npartition = 1\nfolder = " + Ours() + "\nloop = " + device +
                "\nowner = " + std::to_string(DeadPid()) + "\nlabel = PLANTED\n");
    platform::disks::ReleaseOrphanedVolumes();
    EXPECT_EQ(Sysfs(device, "backing_file").empty(), c.detached) << c.what;
    if (!c.detached) {
      EXPECT_EQ(Sysfs(device, "backing_file"), backing) << c.what;
    }
    kxtest::Shell("losetup --detach " + device + " 2>/dev/null");
    // The record forgets the mount either way.
    auto entries = platform::disks::ReadVolumeRecord();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].loop.empty()) << c.what;
  }
}

}  // namespace
