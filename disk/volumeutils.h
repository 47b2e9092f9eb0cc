#pragma once
// Volume and disk queries by drive root ("E:\") or letter. Sizes of volumes
// in MiB (bytes / 1048576, rounded down); failures fold into the result.

#include <string>

double GetFreeSpaceMB(const std::wstring& root);   // free to the caller; 0 on failure
double GetTotalSpaceMB(const std::wstring& root);  // 0 on failure
// The drive of the path's first character is removable or fixed.
bool IsFixedOrRemovable(const std::wstring& path);
// The drive type of the path itself is CD-ROM.
bool IsCdRom(const std::wstring& path);
// A fixed or removable drive whose device reports the USB bus.
bool IsUsbBusVolume(const std::wstring& path);
// The volume's file-system name is exactly "NTFS".
bool IsNtfs(const std::wstring& root);
// The volume label; empty when it cannot be read.
std::wstring GetVolumeLabel(const std::wstring& root);
// False only when the volume query fails with 87 or 21 (no medium).
bool IsVolumeReady(const std::wstring& root);
// Disk number of the volume's first extent; -1 on failure.
int GetVolumeDiskNumber(const std::wstring& letter);
// Whole cylinders x tracks x sectors x bytes / 1048576; 0 on failure.
int GetPhysicalDiskSizeMB(int diskNumber);
// "NONAME" for an empty name; a name over 11 characters becomes its first 9
// followed by "~1"; otherwise unchanged.
std::wstring MakeVolumeLabel(const std::wstring& name);
// Labels the root formed by the drive string's first character.
void SetDriveLabel(const std::wstring& drive, const std::wstring& label);
