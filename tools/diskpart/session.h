#pragma once
// Our disk tool's commands, as the program's scripts use them:
//   sel disk N | select disk N          sel par N | sel part N | select partition N
//   format fs=FAT32|NTFS quick [label=X]
//   active                              clean
//   crea part prim | create partition primary
//   assign letter=X                     exit
// Disks are the machine's physical drives (\\.\PhysicalDrive<N>), partitions
// numbered as the system numbers them. Each command prints one line like the
// system's tool; the first command that fails ends the run.

#include <cstdint>
#include <ostream>
#include <istream>
#include <string>

#include "platform/disks/diskclaim.h"

#include "tools/diskpart/bootcode.h"

namespace diskpart {

// Exit codes of the program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitCommandFailed = 1;
inline constexpr int kExitBadScript = 2;
inline constexpr int kExitRefused = 3;

class Session {
 public:
  // bootCodeFolder: where boot.img and core.img lie (the program folder's
  // "bootcode").
  // owner: the process whose job the mounts belong to (released when it
  // ends): the program that runs the tool.
  Session(std::ostream& out, std::string bootCodeFolder, int owner);
  // Runs one line; the exit code the run ends with, or -1 to go on.
  int Run(const std::string& line);
  // Runs a whole script file; the program's exit code.
  int RunFile(const std::string& path);
  // Runs commands as they arrive on a stream (the tool's standard input),
  // with a script file's line rules: CR, LF or CR LF end a line, and a line
  // longer than kMaxLineChars is refused, not echoed back.
  int RunStream(std::istream& in);

 private:
  int SelectDisk(const std::string& number);
  int SelectPartition(const std::string& number);
  int Format(const std::string& fileSystem, const std::string& label);
  int Active();
  int Clean();
  // Refuses (kExitRefused) when the walk or the kernel's claims find the
  // disk in use; -1 when it may be written.
  int RefuseIfClaimed(platform::disks::ClaimProbe probe);
  int CreatePrimary();
  int Assign(char letter);
  int Fail(const std::string& message, int code = kExitCommandFailed);
  // The letter the selected partition carries: recorded, or declared by the
  // machine profile; 0 when none.
  wchar_t LetterOfSelection() const;
  bool Remount(wchar_t letter, const std::wstring& fileSystem, std::string* error);
  // The selected partition in the disk's logical sectors (sectorSize_).
  bool PartitionRange(std::uint64_t* startSector, std::uint64_t* sectors) const;

  std::ostream& out_;
  std::string bootCodeFolder_;
  int disk_ = -1;
  int partition_ = -1;
  std::string backing_;
  std::uint32_t sectorSize_ = 0;  // the selected disk's logical sector size
  int owner_;
};

}  // namespace diskpart
