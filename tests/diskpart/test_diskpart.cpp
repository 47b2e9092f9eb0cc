// Our disk tool's commands on virtual disks, checked with the peers: sfdisk
// for the table and the active flag, fsck.vfat / ntfsfix for the file
// systems, the MBR bytes against GRUB's boot code.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "diskkit.h"
#include "platform/disks/diskuse.h"
#include "platform/disks/physicaldrive.h"
#include "platform/disks/volumemount.h"
#include "platform/disks/volumerecord.h"
#include "tools/diskpart/session.h"

namespace {

using namespace kxtest;
namespace pd = platform::disks;

std::string ProgramDir() { return KX_PROGRAM_DIR; }

std::string Bytes(const std::filesystem::path& file, std::size_t offset, std::size_t size) {
  std::ifstream in(file, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  std::string s(size, '\0');
  in.read(s.data(), static_cast<std::streamsize>(size));
  return s;
}

// A peer tool run on a loop device over partition n of an image.
int OnPartition(const std::filesystem::path& image, int n, const std::string& tool) {
  std::uint64_t start = 0, size = 0;
  if (!SfdiskPartition(image, n, &start, &size)) return -1;
  std::string loop = ShellOutput("losetup -f --show -o " + std::to_string(start) + " --sizelimit " +
                                 std::to_string(size) + " " + image.string());
  loop = loop.substr(0, loop.find('\n'));
  int rc = Shell(tool + " " + loop + " >/dev/null 2>&1");
  Shell("losetup -d " + loop);
  return rc;
}

class Diskpart : public ::testing::Test {
 protected:
  int RunScript(const std::string& script) {
    std::istringstream in(script);
    diskpart::Session session(out_, ProgramDir() + "/bootcode", static_cast<int>(::getpid()));
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      int code = session.Run(line);
      if (code >= 0) return code;
    }
    return 0;
  }
  std::ostringstream out_;
};

const char* kStick = "label: dos\\nstart=2048,type=7\\n";

TEST_F(Diskpart, FormatAndActiveMakeABootableFat32StickReachableAtItsLetter) {
  DiskMachine m({VirtualDisk{1, 200, "usb", true, kStick}}, {VolumeSpec{'E', 1, 1, "removable"}});
  m.Install();
  std::string tableBefore = Bytes(m.Image(1), 440, 72);
  ASSERT_EQ(RunScript("sel disk 1\r\nsel par 1\r\nformat fs=FAT32 quick\r\nactive\r\nexit\r\n"), 0) << out_.str();
  EXPECT_NE(out_.str().find("DiskPart marked the current partition as active."), std::string::npos);

  std::string dump = ShellOutput("sfdisk -d " + m.Image(1).string());
  EXPECT_NE(dump.find("start=        2048, size=      407552, type=c, bootable"), std::string::npos) << dump;
  std::string boot = Bytes(ProgramDir() + "/bootcode/boot.img", 0, 440);
  boot[0x66] = boot[0x67] = static_cast<char>(0x90);
  EXPECT_EQ(Bytes(m.Image(1), 0, 440), boot);
  std::string after = Bytes(m.Image(1), 440, 72);
  EXPECT_EQ(after.substr(0, 6), tableBefore.substr(0, 6)) << "the disk signature is kept";
  std::string core = ReadHostFile(ProgramDir() + "/bootcode/core.img");
  EXPECT_EQ(Bytes(m.Image(1), 512, core.size()), core);

  auto record = pd::ReadVolumeRecord();
  ASSERT_EQ(record.size(), 1u);
  EXPECT_EQ(record[0].letter, L'E');
  ASSERT_FALSE(record[0].folder.empty());
  std::ofstream(record[0].folder + "/setup.exe") << "payload";
  EXPECT_TRUE(pd::ReleaseVolumes());
  EXPECT_TRUE(pd::ReadVolumeRecord()[0].folder.empty());
  EXPECT_EQ(OnPartition(m.Image(1), 1, "fsck.vfat -n"), 0);
  EXPECT_NE(ShellOutput("mtype -i " + m.Image(1).string() + "@@1048576 ::setup.exe"), "") << "the file reached the disk";
}

TEST_F(Diskpart, NtfsFormatIsCleanAndTyped) {
  DiskMachine m({VirtualDisk{1, 200, "usb", false, kStick}});
  m.Install();
  ASSERT_EQ(RunScript("select disk 1\nselect partition 1\nformat fs=NTFS quick\nexit\n"), 0) << out_.str();
  EXPECT_NE(ShellOutput("sfdisk -d " + m.Image(1).string()).find("type=7"), std::string::npos);
  EXPECT_EQ(OnPartition(m.Image(1), 1, "ntfsfix -n"), 0);
}

TEST_F(Diskpart, CleanCreateFormatAssignActiveRebuildsTheStickAtOneMiB) {
  DiskMachine m({VirtualDisk{1, 200, "usb", true,
                             "label: gpt\\nstart=34,size=100000,type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\\n"}},
                {VolumeSpec{'E', 1, 1, "removable"}});
  m.Install();
  ASSERT_EQ(RunScript("sel disk 1\r\nclean\r\ncrea part prim\r\nsel part 1\r\nformat fs=fat32 quick\r\n"
                      "assign letter=e\r\nactive\r\nexit\r\n"),
            0)
      << out_.str();
  std::string dump = ShellOutput("sfdisk -d " + m.Image(1).string());
  EXPECT_NE(dump.find("label: dos"), std::string::npos);
  EXPECT_NE(dump.find("start=        2048, size=      407552, type=c, bootable"), std::string::npos) << dump;
  auto record = pd::ReadVolumeRecord();
  ASSERT_EQ(record.size(), 1u);
  EXPECT_EQ(record[0].letter, L'E');
  EXPECT_EQ(record[0].partition, 1);
}

// A program killed during its job leaves its mounts; the next run of the
// tool releases them (written out, unmounted) before it changes anything.
TEST_F(Diskpart, MountsOfAKilledOwnerAreReleasedByTheNextRun) {
  DiskMachine m({VirtualDisk{1, 100, "usb", true, kStick}}, {VolumeSpec{'E', 1, 1, "removable"}});
  m.Install();
  pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  {
    diskpart::Session session(out_, ProgramDir() + "/bootcode", static_cast<int>(gone));
    ASSERT_EQ(session.Run("sel disk 1"), -1);
    ASSERT_EQ(session.Run("sel par 1"), -1);
    ASSERT_EQ(session.Run("format fs=FAT32 quick"), -1) << out_.str();
  }
  std::string folder = pd::ReadVolumeRecord().at(0).folder;
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(ShellOutput("grep -c '" + folder + "' /proc/self/mounts"), "0\n");
  static_cast<void>(pd::ReleaseVolumes());  // ours only: the killed owner's mount stays
  EXPECT_NE(ShellOutput("grep -c '" + folder + "' /proc/self/mounts"), "0\n");
  ASSERT_EQ(RunScript("sel disk 1\nexit\n"), 0);
  EXPECT_EQ(ShellOutput("grep -c '" + folder + "' /proc/self/mounts"), "0\n");
  EXPECT_TRUE(pd::ReadVolumeRecord().at(0).folder.empty());
}

struct Refusal {
  const char* name;
  const char* table;
  const char* script;
  int exitCode;
  const char* line;
};

class DiskpartRefuses : public Diskpart, public ::testing::WithParamInterface<Refusal> {};

TEST_P(DiskpartRefuses, AndLeavesTheDiskUntouched) {
  const Refusal& r = GetParam();
  DiskMachine m({VirtualDisk{1, 64, "usb", true, r.table}});
  m.Install();
  std::string before = ReadHostFile(m.Image(1));
  EXPECT_EQ(RunScript(r.script), r.exitCode) << out_.str();
  EXPECT_NE(out_.str().find(r.line), std::string::npos) << out_.str();
  EXPECT_TRUE(ReadHostFile(m.Image(1)) == before) << "the disk changed";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DiskpartRefuses,
    ::testing::Values(
        // The loader needs 90 sectors before the first partition: a stick
        // partitioned at sector 63 fails "active", and the program's recovery
        // (clean, then a partition at 1 MiB) follows.
        Refusal{"ActiveAtSector63", "label: dos\\nstart=63,type=c\\n", "sel disk 1\nsel par 1\nactive\n", 1,
                "its first partition starts at sector 63"},
        Refusal{"ActiveOnGpt", "label: gpt\\nstart=2048,size=8192,type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\\n",
                "sel disk 1\nsel par 1\nactive\n", 1, "The ACTIVE command can only be used on fixed MBR disks."},
        // The boot code starts the active primary partition: a logical
        // drive (the only data partition here, so number 1) is refused.
        Refusal{"ActiveOnLogicalDrive", "label: dos\\nstart=2048,size=40000,type=5\\nstart=4096,size=20000,type=c\\n",
                "sel disk 1\nsel par 1\nactive\n", 1, "The ACTIVE command can only be used on primary partitions."},
        Refusal{"NoSuchDisk", kStick, "sel disk 7\nclean\n", 1, "The disk you specified is not valid."},
        Refusal{"NoSuchPartition", kStick, "sel disk 1\nsel par 2\nformat fs=FAT32 quick\n", 1,
                "The partition you specified is not valid."},
        Refusal{"UnknownCommand", kStick, "sel disk 1\nconvert gpt\nclean\n", 2, "is not one DiskPart knows"},
        Refusal{"LetterOfTheSystemDrive", kStick, "sel disk 1\nsel par 1\nassign letter=c\n", 1,
                "The specified drive letter is not free to be assigned."}),
    [](const auto& info) { return std::string(info.param.name); });

// Scripts given with /s are outside input: only regular files, any line
// ends, no line that is too long to be a command.
struct ScriptCase {
  const char* name;
  const char* text;  // nullptr: the script is a folder; "fifo": a pipe
  int exitCode;
  const char* line;
};

const std::string kLongLine = "rem first\nsel disk 1 " + std::string(300000, 'x') + "\n";

class DiskpartScripts : public Diskpart, public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(DiskpartScripts, AreReadAsTheirLinesOrRefused) {
  const ScriptCase& c = GetParam();
  DiskMachine m({VirtualDisk{1, 64, "usb", true, "label: dos\\nstart=63,type=c\\n"}});
  m.Install();
  const std::string before = ReadHostFile(m.Image(1));
  const std::filesystem::path script = m.dir().path() / "script.txt";
  if (!c.text) std::filesystem::create_directory(script);
  else if (std::string(c.text) == "fifo") ASSERT_EQ(::mkfifo(script.c_str(), 0600), 0);
  else std::ofstream(script, std::ios::binary) << c.text;
  diskpart::Session session(out_, ProgramDir() + "/bootcode", static_cast<int>(::getpid()));
  EXPECT_EQ(session.RunFile(script.string()), c.exitCode) << out_.str();
  EXPECT_NE(out_.str().find(c.line), std::string::npos) << out_.str();
  EXPECT_LT(out_.str().size(), 4096u) << "the script's text is not echoed back";
  EXPECT_TRUE(ReadHostFile(m.Image(1)) == before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DiskpartScripts,
    ::testing::Values(
        // Each line end runs "active", which fails on this stick with its
        // reason: a script read as one REM line would succeed doing nothing.
        ScriptCase{"CrOnly", "rem first\rsel disk 1\rsel par 1\ractive\r", 1, "starts at sector 63"},
        ScriptCase{"Lf", "rem first\nsel disk 1\nsel par 1\nactive\n", 1, "starts at sector 63"},
        ScriptCase{"CrLfWithoutLastEnd", "rem first\r\nsel disk 1\r\nsel par 1\r\nactive", 1, "starts at sector 63"},
        ScriptCase{"Folder", nullptr, 2, "cannot be read: is a folder"},
        ScriptCase{"Fifo", "fifo", 2, "cannot be read"},
        ScriptCase{"LongLine", kLongLine.c_str(), 2, "line 2 is longer than 1024 characters"}),
    [](const auto& info) { return std::string(info.param.name); });

// Commands on standard input follow a script file's line rules.
TEST_F(Diskpart, StandardInputEndsLinesAtCrOrLfAndRefusesAnOverlongLine) {
  DiskMachine m({VirtualDisk{1, 64, "usb", true, "label: dos\\nstart=63,type=c\\n"}});
  m.Install();
  const std::string before = ReadHostFile(m.Image(1));
  {
    diskpart::Session session(out_, ProgramDir() + "/bootcode", static_cast<int>(::getpid()));
    std::istringstream in("rem first\rsel disk 1\rsel par 1\ractive\r");
    EXPECT_EQ(session.RunStream(in), 1) << out_.str();
    EXPECT_NE(out_.str().find("starts at sector 63"), std::string::npos) << out_.str();
  }
  out_.str("");
  {
    diskpart::Session session(out_, ProgramDir() + "/bootcode", static_cast<int>(::getpid()));
    std::istringstream in(kLongLine);
    EXPECT_EQ(session.RunStream(in), 2) << out_.str();
    EXPECT_NE(out_.str().find("Line 2 is longer than 1024 characters"), std::string::npos) << out_.str();
    EXPECT_LT(out_.str().size(), 4096u) << "the line is not echoed back";
  }
  EXPECT_TRUE(ReadHostFile(m.Image(1)) == before);
}

// Disks with 512- and 4096-byte logical sectors, declared as an image with
// sector_size or as a loop device of that sector size: the stick is made at
// 1 MiB, and sfdisk and blkid on a loop device of the disk's sector size,
// our reader and the boot sector's own fields agree.
struct SectorCase {
  const char* name;
  std::uint32_t sectorSize;
  bool loopDevice;  // the profile names a loop device, not the image
  const char* fileSystem;
  const char* blkidType;
  const char* readFile;  // prints a file of the partition device: "<readFile> <device> <file>"
};

class DiskpartSectors : public Diskpart, public ::testing::WithParamInterface<SectorCase> {};

std::uint32_t Le(const std::string& bytes, std::size_t at, int size) {
  std::uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

std::string FirstLine(const std::string& s) { return s.substr(0, s.find('\n')); }

// A loop device the test made, detached when the test ends however it ends.
struct Loop {
  explicit Loop(const std::string& options) : device(FirstLine(ShellOutput("losetup -f --show " + options))) {
    if (device.rfind("/dev/loop", 0) != 0) device.clear();
  }
  ~Loop() {
    if (!device.empty()) Shell("losetup -d " + device);
  }
  std::string device;
};

TEST_P(DiskpartSectors, PartitionFormatAndActiveCountInTheDisksSectors) {
  const SectorCase& c = GetParam();
  constexpr std::uint64_t kDiskBytes = 320ull << 20, kMiB = 1ull << 20;
  const std::string n = std::to_string(c.sectorSize);
  TempDir images;
  const std::string image = (images.path() / "stick.img").string();
  ASSERT_EQ(Shell("truncate -s " + std::to_string(kDiskBytes) + " " + image), 0);
  // The peers read through a loop device of the disk's sector size; with
  // loopDevice it is the disk itself.
  Loop loop((c.loopDevice ? "" : "-r ") + std::string("--sector-size ") + n + " " + image + " 2>/dev/null");
  if (loop.device.empty()) GTEST_SKIP() << "no loop devices here";
  const std::string disk = "\n[disk 1]\nimage = " + (c.loopDevice ? loop.device : image) + "\nbus = usb\nremovable = yes\n" +
                           (c.loopDevice ? "" : "sector_size = " + n + "\n");
  {
    DiskMachine m({}, {VolumeSpec{'E', 1, 1, "removable"}}, disk);
    m.Install();
    ASSERT_EQ(RunScript("sel disk 1\nclean\ncrea part prim\nsel part 1\nformat fs=" + std::string(c.fileSystem) +
                        " quick label=KXSTICK\nassign letter=e\nexit\n"),
              0)
        << out_.str();
    // No firmware starts a disk of 4096-byte sectors from its MBR: active
    // refuses it with the reason rather than leave a stick that starts nothing.
    out_.str("");
    const int active = RunScript("sel disk 1\nsel part 1\nactive\nexit\n");
    if (c.sectorSize == 512) {
      EXPECT_EQ(active, 0) << out_.str();
    } else {
      EXPECT_NE(active, 0);
      EXPECT_NE(out_.str().find("The selected disk has 4096-byte sectors."), std::string::npos) << out_.str();
    }
    auto record = pd::ReadVolumeRecord();
    ASSERT_EQ(record.size(), 1u);
    ASSERT_FALSE(record[0].folder.empty());
    std::ofstream(record[0].folder + "/setup.exe") << "payload";
    EXPECT_TRUE(pd::ReleaseVolumes());

    // Our reader and the device queries, on the disk as declared.
    auto drive = pd::PhysicalDrive::Open(1);
    ASSERT_TRUE(drive);
    platform::DISK_GEOMETRY g{};
    platform::DWORD got = 0;
    ASSERT_TRUE(drive->IoControl(platform::IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &g, sizeof g, &got));
    EXPECT_EQ(g.BytesPerSector, c.sectorSize);
    auto table = drive->Table();
    ASSERT_EQ(table.style, platform::PARTITION_STYLE_MBR);
    EXPECT_EQ(table.entries[0].StartingOffset, static_cast<std::int64_t>(kMiB));
    EXPECT_EQ(table.entries[0].PartitionLength, static_cast<std::int64_t>(kDiskBytes - kMiB));
    EXPECT_EQ(table.entries[0].Mbr.HiddenSectors, kMiB / c.sectorSize);
    EXPECT_EQ(table.entries[0].Mbr.BootIndicator, c.sectorSize == 512);
  }
  // The boot sector's bytes per sector and hidden sectors are the disk's.
  const std::string vbr = Bytes(image, kMiB, 512);
  EXPECT_EQ(Le(vbr, 11, 2), c.sectorSize);
  EXPECT_EQ(Le(vbr, 28, 4), kMiB / c.sectorSize);

  // The peers. A read-only loop device sees what the disk's own wrote once
  // its buffers are dropped.
  Shell("blockdev --flushbufs " + loop.device);
  const std::string json = ShellOutput("sfdisk --json " + loop.device);
  const std::string blkid = ShellOutput("blkid -p -o export -O " + std::to_string(kMiB) + " " + loop.device);
  Loop part("-r -o " + std::to_string(kMiB) + " " + image);
  const std::string file = ShellOutput(std::string(c.readFile) + " " + part.device + " setup.exe 2>/dev/null");
  EXPECT_NE(json.find("\"sectorsize\": " + n), std::string::npos) << json;
  EXPECT_NE(json.find("\"start\": " + std::to_string(kMiB / c.sectorSize) + ","), std::string::npos) << json;
  EXPECT_NE(json.find("\"size\": " + std::to_string((kDiskBytes - kMiB) / c.sectorSize) + ","), std::string::npos)
      << json;
  EXPECT_EQ(json.find("\"bootable\": true") != std::string::npos, c.sectorSize == 512) << json;
  EXPECT_NE(blkid.find("TYPE=" + std::string(c.blkidType) + "\n"), std::string::npos) << blkid;
  EXPECT_NE(blkid.find("BLOCK_SIZE=" + n + "\n"), std::string::npos) << blkid;
  EXPECT_NE(blkid.find("LABEL=KXSTICK\n"), std::string::npos) << blkid;
  EXPECT_EQ(file, "payload") << "the file written through the mount reached the disk";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DiskpartSectors,
    ::testing::Values(SectorCase{"Image4096Fat32", 4096, false, "FAT32", "vfat", "7zz e -so -tfat"},
                      SectorCase{"Loop4096Ntfs", 4096, true, "NTFS", "ntfs", "ntfscat -f"},
                      SectorCase{"Loop512Fat32", 512, true, "FAT32", "vfat", "7zz e -so -tfat"},
                      SectorCase{"Image512Ntfs", 512, false, "NTFS", "ntfs", "ntfscat -f"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DiskpartSystemDisk, TheDiskHoldingTheRootIsRefused) {
  std::string source = ShellOutput("findmnt -n -o SOURCE /");
  source = source.substr(0, source.find('\n'));
  if (source.rfind("/dev/", 0) != 0) GTEST_SKIP() << "the root file system is not on a block device here: " << source;
  std::string parent = ShellOutput("lsblk -no PKNAME " + source);
  parent = parent.substr(0, parent.find('\n'));
  const std::string disk = parent.empty() ? source : "/dev/" + parent;
  EXPECT_NE(pd::ExamineDisk(disk).refusal.find("the running system (/)"), std::string::npos);
  EXPECT_EQ(pd::ExamineDisk("/tmp/not-a-device.img").refusal, "");
}

}  // namespace
