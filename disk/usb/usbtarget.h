#pragma once
// Whether a drive the user chose is a partition of a USB (kind 7) or
// removable (kind 2) disk, found in the machine's drive model. The USB
// manager asks it before it formats; the front ends ask it before the
// format question, so a blank or table-less stick (no partition holds the
// letter) is refused before the user is asked to erase it.

#include <cstdint>
#include <string>

// path: the chosen drive, lower case ("f:\"); the disk and partition numbers
// of the partition that holds its letter. Uses the process-wide drive list
// as it stands.
bool FindUsbPartition(const std::wstring& path, int& diskIndex, int& partIndex);

// The same for a root in any case, on a fresh drive list that is released
// afterwards (the job takes its own). Window thread, no job running.
bool IsUsbDiskPartition(const std::wstring& root);

// The logical sector size of the USB disk that holds the root's partition,
// in bytes; 0 when the root is no such partition or the disk cannot be
// opened. Window thread, no job running.
std::uint32_t UsbDiskSectorBytes(const std::wstring& root);

// Why the disk that holds the root's volume may not be erased now, in the
// host's words ("in use by the system (/dev/sdb1)", "the running system
// (/boot)"), shown as text; "" when it may, or when the root is on no disk.
// Mounts of this system's own namespace are not counted: the disk tool
// unmounts them first and the format question names them.
std::wstring UsbDiskRefusal(const std::wstring& root);
