#include "tools/diskpart/disktable.h"

#include <fcntl.h>
#include <libfdisk/libfdisk.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "platform/disks/diskclaim.h"

namespace diskpart {

namespace {

constexpr std::uint64_t kWipeBytes = 1024 * 1024;
constexpr std::uint64_t kAlignmentBytes = 1024 * 1024;  // where the first partition starts

// A libfdisk context over the whole disk's exclusive claim: the table is
// written and re-read through that one descriptor, and both go (the claim
// released) before any other program opens the disk.
struct ContextDeleter {
  void operator()(fdisk_context* c) const {
    fdisk_deassign_device(c, 0);
    fdisk_unref_context(c);
  }
};

struct Context {
  std::unique_ptr<platform::disks::WholeDiskClaim> claim;
  std::unique_ptr<fdisk_context, ContextDeleter> fdisk;
  fdisk_context* get() const { return fdisk.get(); }
  explicit operator bool() const { return fdisk != nullptr; }
};

Context Open(const std::string& backing, std::uint32_t sectorSize, std::string* error) {
  Context out;
  out.claim = platform::disks::WholeDiskClaim::Take(backing, error);
  if (!out.claim) return {};
  fdisk_context* c = fdisk_new_context();
  if (!c) return {};
  // Applied when the device is assigned: an image file would otherwise
  // count 512-byte sectors whatever disk it stands for. libfdisk neither
  // reopens nor closes a descriptor it is given.
  if (fdisk_save_user_sector_size(c, sectorSize, sectorSize) != 0 ||
      fdisk_assign_device_by_fd(c, out.claim->Fd(), backing.c_str(), 0) != 0 || fdisk_get_sector_size(c) != sectorSize) {
    fdisk_unref_context(c);
    *error = "The disk cannot be opened for writing: " + backing;
    return {};
  }
  // No dialogue: our scripts answer nothing.
  fdisk_disable_dialogs(c, 1);
  out.fdisk.reset(c);
  return out;
}

// libfdisk's partition number of the partition starting at start.
bool PartnoAt(fdisk_context* c, std::uint64_t start, size_t* partno) {
  fdisk_table* tb = nullptr;
  if (fdisk_get_partitions(c, &tb) != 0) return false;
  bool found = false;
  for (size_t i = 0; i < fdisk_table_get_nents(tb); ++i) {
    fdisk_partition* pa = fdisk_table_get_partition(tb, i);
    if (fdisk_partition_has_start(pa) && fdisk_partition_get_start(pa) == start && !fdisk_partition_is_container(pa)) {
      *partno = fdisk_partition_get_partno(pa);
      found = true;
      break;
    }
  }
  fdisk_unref_table(tb);
  return found;
}

bool Write(const Context& c, std::string* error) {
  if (fdisk_write_disklabel(c.get()) != 0 || ::fsync(c.claim->Fd()) != 0) {
    *error = "The partition table could not be written.";
    return false;
  }
  return c.claim->Reread(error);
}

bool IsDos(fdisk_context* c) { return fdisk_has_label(c) && fdisk_is_label(c, DOS); }

}  // namespace

bool WipeTables(const std::string& backing, std::uint64_t diskSize, std::string* error) {
  auto claim = platform::disks::WholeDiskClaim::Take(backing, error);
  if (!claim) return false;
  const int fd = claim->Fd();
  std::vector<char> zero(kWipeBytes);
  std::uint64_t head = std::min(kWipeBytes, diskSize);
  bool ok = ::pwrite(fd, zero.data(), head, 0) == static_cast<ssize_t>(head);
  if (ok && diskSize > 2 * kWipeBytes)
    ok = ::pwrite(fd, zero.data(), kWipeBytes, static_cast<off_t>(diskSize - kWipeBytes)) ==
         static_cast<ssize_t>(kWipeBytes);
  ok = ok && ::fsync(fd) == 0;
  if (!ok) {
    *error = "The disk could not be cleaned: a write failed.";
    return false;
  }
  return claim->Reread(error);
}

bool CreatePrimary(const std::string& backing, std::uint32_t sectorSize, std::uint8_t type, std::uint64_t* start,
                   std::string* error) {
  Context c = Open(backing, sectorSize, error);
  if (!c) return false;
  if (!fdisk_has_label(c.get()) && fdisk_create_disklabel(c.get(), "dos") != 0) {
    *error = "The disk could not be initialised.";
    return false;
  }
  if (!IsDos(c.get())) {
    *error = "The selected disk is not an MBR disk.";
    return false;
  }
  fdisk_partition* pa = fdisk_new_partition();
  fdisk_label* lb = fdisk_get_label(c.get(), nullptr);
  fdisk_parttype* t = fdisk_label_get_parttype_from_code(lb, type);
  fdisk_partition_set_type(pa, t);
  fdisk_partition_start_follow_default(pa, 1);
  fdisk_partition_end_follow_default(pa, 1);
  fdisk_partition_partno_follow_default(pa, 1);
  size_t partno = 0;
  int rc = fdisk_add_partition(c.get(), pa, &partno);
  fdisk_unref_partition(pa);
  if (rc != 0) {
    *error = "There is not enough usable free space on the disk to create the partition.";
    return false;
  }
  fdisk_partition* made = nullptr;
  if (fdisk_get_partition(c.get(), partno, &made) == 0) {
    *start = fdisk_partition_get_start(made);
    fdisk_unref_partition(made);
  }
  if (*start < kAlignmentBytes / sectorSize) *start = kAlignmentBytes / sectorSize;
  return Write(c, error);
}

bool SetPartitionType(const std::string& backing, std::uint32_t sectorSize, std::uint64_t start, std::uint8_t type,
                      std::string* error) {
  Context c = Open(backing, sectorSize, error);
  if (!c) return false;
  if (!IsDos(c.get())) return true;  // GPT keeps its basic-data type
  size_t partno = 0;
  if (!PartnoAt(c.get(), start, &partno)) {
    *error = "The selected partition is not in the table.";
    return false;
  }
  fdisk_label* lb = fdisk_get_label(c.get(), nullptr);
  fdisk_parttype* t = fdisk_label_get_parttype_from_code(lb, type);
  if (fdisk_set_partition_type(c.get(), partno, t) != 0) {
    *error = "The partition type could not be set.";
    return false;
  }
  return Write(c, error);
}

bool MakeActive(const std::string& backing, std::uint32_t sectorSize, std::uint64_t start, std::string* error) {
  Context c = Open(backing, sectorSize, error);
  if (!c) return false;
  if (!IsDos(c.get())) {
    *error = "The selected disk is not a fixed MBR disk.\nThe ACTIVE command can only be used on fixed MBR disks.";
    return false;
  }
  size_t target = 0;
  if (!PartnoAt(c.get(), start, &target)) {
    *error = "The selected partition is not in the table.";
    return false;
  }
  fdisk_table* tb = nullptr;
  if (fdisk_get_partitions(c.get(), &tb) != 0) return false;
  bool ok = true;
  for (size_t i = 0; i < fdisk_table_get_nents(tb); ++i) {
    fdisk_partition* pa = fdisk_table_get_partition(tb, i);
    size_t n = fdisk_partition_get_partno(pa);
    bool wanted = n == target;
    if (fdisk_partition_is_bootable(pa) != wanted && fdisk_toggle_partition_flag(c.get(), n, DOS_FLAG_ACTIVE) != 0)
      ok = false;
  }
  fdisk_unref_table(tb);
  if (!ok) {
    *error = "The partition could not be marked active.";
    return false;
  }
  return Write(c, error);
}

}  // namespace diskpart
