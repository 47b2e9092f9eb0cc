// Whether a disk is one the running system uses, on fake sysfs trees and
// host tables (this machine has no device-mapper or md to stack for real):
// partitions, holders (LVM, LUKS, md), loop devices over files on the disk,
// mounts by number and by a user-space file system's source, fstab, swap.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include <unistd.h>

#include "platform/disks/diskuse.h"
#include "testmachine.h"

namespace {

namespace fs = std::filesystem;
namespace pd = platform::disks;

void Write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text;
}

// A block device in the fake sysfs: devices/<path>, /sys/block/<name> for
// whole devices, /sys/dev/block/<id>.
void Device(const fs::path& sys, const std::string& path, const std::string& id, bool partition = false) {
  const fs::path node = sys / "devices" / path;
  Write(node / "dev", id + "\n");
  fs::create_directories(node / "holders");
  if (partition) Write(node / "partition", "1\n");
  else fs::create_directory_symlink(fs::relative(node, sys / "block"), sys / "block" / node.filename());
  fs::create_directories(sys / "dev/block");
  fs::create_directory_symlink(fs::relative(node, sys / "dev/block"), sys / "dev/block" / id);
}

struct Layout {
  const char* name;
  const char* backing;     // what the profile names
  const char* stacking;    // "dm" on sda1, "loop5" over a file on sda1, "loop30" over another disk
  const char* mountInfo;   // lines after the fixed root mount
  const char* fstab;
  const char* swaps;       // lines after the header
  const char* refusal;     // part of the reason; "" = may be changed
  const char* mount;       // a mount to unmount first; "" none
};

class DiskUse : public ::testing::TestWithParam<Layout> {};

TEST_P(DiskUse, IsJudgedByWhatStandsOnTheDisk) {
  const Layout& l = GetParam();
  kxtest::TempDir dir;
  const fs::path sys = dir.path() / "sys";
  fs::create_directories(sys / "block");
  Device(sys, "vda", "254:0");
  Device(sys, "sda", "8:0");
  Device(sys, "sda/sda1", "8:1", true);
  Device(sys, "sda/sda2", "8:2", true);
  Device(sys, "virtual/loop3", "7:3");
  const std::string stacking = l.stacking;
  if (stacking == "dm") {
    Device(sys, "virtual/dm-0", "253:0");
    fs::create_directory_symlink("../../../virtual/dm-0", sys / "devices/sda/sda1/holders/dm-0");
  } else if (stacking == "loop5") {
    Device(sys, "virtual/loop5", "7:5");
    Write(sys / "devices/virtual/loop5/loop/backing_file", "/srv/images/inner.img\n");
  } else if (stacking == "loop30") {
    Device(sys, "virtual/loop30", "7:30");
    Write(sys / "devices/virtual/loop30/loop/backing_file", "/other.img\n");
  }
  Write(sys / "devices/virtual/loop3/loop/backing_file", "/work/usb.img\n");

  pd::HostView host;
  host.sys = sys.string();
  host.mountInfo = (dir.path() / "mountinfo").string();
  host.fstab = (dir.path() / "fstab").string();
  host.swaps = (dir.path() / "swaps").string();
  host.proc = (dir.path() / "proc").string();
  // The daemon of a user-space FAT mount of the stick's partition.
  Write(dir.path() / "proc/4242/cmdline", std::string("fusefat\0-o\0rw+\0/dev/sda1\0/media/u/FUSE\0", 39));
  host.programFolder = "/opt/kestrunex";
  std::string mounts = std::string("22 1 254:0 / / rw - ext4 /dev/vda rw\n") + l.mountInfo;
  if (auto at = mounts.find("user_id=UID"); at != std::string::npos)
    mounts.replace(at + 8, 3, std::to_string(::getuid()));  // the daemon runs as whoever runs the test
  Write(host.mountInfo, mounts);
  Write(host.fstab, l.fstab);
  Write(host.swaps, std::string("Filename Type Size Used Priority\n") + l.swaps);
  const std::map<std::string, std::pair<std::string, bool>> devices = {
      {"/dev/vda", {"254:0", true}},     {"/dev/sda", {"8:0", true}},      {"/dev/sda1", {"8:1", true}},
      {"/dev/sda2", {"8:2", true}},      {"/dev/loop3", {"7:3", true}},    {"/dev/loop5", {"7:5", true}},
      {"/dev/loop30", {"7:30", true}},   {"/dev/dm-0", {"253:0", true}},   {"/work/usb.img", {"254:0", false}},
      {"/srv/images/inner.img", {"8:1", false}}, {"/swapfile", {"8:2", false}}, {"/other.img", {"254:0", false}}};
  host.deviceOf = [&](const std::string& path, bool* isBlock) -> std::string {
    auto it = devices.find(path);
    if (it == devices.end()) return {};
    *isBlock = it->second.second;
    return it->second.first;
  };
  // A link outside /dev to a disk is the disk.
  host.realPath = [](const std::string& path) {
    return path == "/home/u/stick-link" ? std::string("/dev/sda") : path;
  };

  const pd::DiskUse use = pd::ExamineDisk(l.backing, host);
  if (std::string(l.refusal).empty()) EXPECT_EQ(use.refusal, "");
  else EXPECT_NE(use.refusal.find(l.refusal), std::string::npos) << use.refusal;
  if (std::string(l.mount).empty()) EXPECT_TRUE(use.mounts.empty());
  else EXPECT_EQ(use.mounts, std::vector<std::string>{l.mount});
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, DiskUse,
    ::testing::Values(
        Layout{"PlainStick", "/dev/sda", "", "", "", "", "", ""},
        Layout{"AutomountIsListed", "/dev/sda", "", "40 22 8:1 / /media/u/STICK rw - vfat /dev/sda1 rw\n", "", "",
               "", "/media/u/STICK"},
        Layout{"BootEfi", "/dev/sda", "", "40 22 8:1 / /boot/efi rw - vfat /dev/sda1 rw\n", "", "",
               "the running system (/boot/efi)", ""},
        Layout{"FstabMountPoint", "/dev/sda", "", "40 22 8:2 / /srv/data rw - ext4 /dev/sda2 rw\n",
               "UUID=1234 /srv/data ext4 defaults 0 2\n", "", "the running system (/srv/data)", ""},
        Layout{"LinkOutsideDev", "/home/u/stick-link", "", "40 22 8:1 / /boot rw - ext4 /dev/sda1 rw\n", "", "",
               "the running system (/boot)", ""},
        Layout{"PartitionNode", "/dev/sda1", "", "", "", "", "is a partition, not a whole disk", ""},
        Layout{"HeldByMapper", "/dev/sda", "dm", "", "", "", "held by dm-0", ""},
        Layout{"LoopOverFileOnDiskInUserSpace", "/dev/sda", "loop5",
               "41 22 0:55 / /usr rw - fuseblk /dev/loop5 rw\n", "", "", "the running system (/usr)", ""},
        Layout{"SwapPartition", "/dev/sda", "", "", "", "/dev/sda1 partition 1024 0 -2\n", "active swap", ""},
        Layout{"SwapFileOnDisk", "/dev/sda", "", "", "", "/swapfile file 1024 0 -2\n", "active swap", ""},
        Layout{"ProgramFolder", "/dev/sda", "", "40 22 8:2 / /opt rw - ext4 /dev/sda2 rw\n", "", "",
               "the running system (/opt)", ""},
        Layout{"ImageLoopMountedAtHome", "/work/usb.img", "", "42 22 7:3 / /home rw - vfat /dev/loop3 rw\n", "", "",
               "the running system (/home)", ""},
        Layout{"ImageLoopNotLoop30", "/work/usb.img", "loop30", "42 22 7:30 / /var rw - vfat /dev/loop30 rw\n", "",
               "", "", ""},
        Layout{"UserSpaceMountByItsDaemon", "/dev/sda", "",
               "43 22 0:40 / /media/u/FUSE rw - fuse.fusefat fusefat rw,user_id=UID,group_id=0\n", "", "", "",
               "/media/u/FUSE"},
        Layout{"RootDiskItself", "/dev/vda", "", "", "", "", "the running system (/)", ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
