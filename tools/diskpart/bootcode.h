#pragma once
// The MBR boot code that starts the medium's \bootmgr in BIOS mode, built
// from Debian's GRUB at build time: the first 440 bytes of boot.img go into
// the MBR (signature and table kept), two NOPs at 0x66 (boot.img's
// drive-number check, so a stick booted as any drive works), and core.img
// from sector 1 (its block list already points at sector 2). core.img starts
// "ntldr /bootmgr" on the first MBR partition.

#include <cstdint>
#include <string>

namespace diskpart {

struct BootCode {
  std::string bootImg;  // at least 440 bytes
  std::string coreImg;  // whole sectors after the MBR
  // Loads boot.img and core.img from a folder.
  static bool Load(const std::string& folder, BootCode* code, std::string* error);
  // Sectors the code needs before the first partition (the MBR included).
  std::uint64_t SectorsNeeded() const;
};

// Writes the code; refuses, with the reason in *error, when the first
// partition starts before SectorsNeeded().
bool WriteBootCode(const std::string& backing, const BootCode& code, std::uint64_t firstPartitionStart,
                   std::string* error);

}  // namespace diskpart
