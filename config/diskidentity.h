#pragma once
// The line that names the physical disk behind a volume, the way the USB
// list's tooltip knows it: the disk's model (when the device names one), its
// size and the host file that holds its bytes - the block device, or a
// virtual disk's image file ("SanDisk Cruzer Blade, 7.5 GiB, /dev/sdb").
// Shown under the erase question, so the user sees which device goes.

#include <cstdint>
#include <string>

// For the volume at root ("F:\"). A volume on no declared disk names its
// block device, else its host folder; empty for a letter the machine lacks.
std::wstring DiskIdentityLine(const std::wstring& root);

// A size for people: GiB with one decimal from 1 GiB on, else whole MiB.
std::wstring DiskSizeText(std::uint64_t bytes);
