#pragma once
// The MBR boot code that starts the medium's \bootmgr in BIOS mode, built
// from Debian's GRUB at build time: the first 440 bytes of boot.img go into
// the MBR (signature and table kept), two NOPs at 0x66 (boot.img's
// drive-number check, so a stick booted as any drive works), and core.img
// from sector 1 (its block list already points at sector 2). core.img starts
// "ntldr /bootmgr" on the first MBR partition.
//
// GRUB's BIOS images count 512-byte sectors, so the code is laid out by
// bytes (core.img from byte 512) on every disk. A disk with 4096-byte
// logical sectors gets the same bytes; BIOS firmware does not start such
// disks, but the table, the flag and the file system stay the disk's own.

#include <cstdint>
#include <string>

namespace diskpart {

struct BootCode {
  std::string bootImg;  // at least 440 bytes
  std::string coreImg;  // whole sectors after the MBR
  // Loads boot.img and core.img from a folder.
  static bool Load(const std::string& folder, BootCode* code, std::string* error);
  // Bytes the code needs before the first partition (the MBR included).
  std::uint64_t BytesNeeded() const;
};

// Writes the code; refuses, with the reason in *error (in the disk's
// sectors of sectorSize bytes), when the first partition starts before
// BytesNeeded(). firstPartitionOffset is in bytes.
bool WriteBootCode(const std::string& backing, const BootCode& code, std::uint64_t firstPartitionOffset,
                   std::uint32_t sectorSize, std::string* error);

}  // namespace diskpart
