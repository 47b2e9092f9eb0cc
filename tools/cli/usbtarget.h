#pragma once
// The USB target of --usb, as the machine knows it: a drive letter ("F:\"),
// a disk's block device ("/dev/sdb") or a virtual disk's image file. A disk
// stands for the volume of its first partition, the one the USB step
// formats; a disk without a partitioned volume (nothing on it, or a file
// system on the whole disk) is refused, as the wizard's list never enables
// such a volume. A disk image file, or a loop device over one, that no
// profile names is added to the machine as a removable USB disk (the same
// checks and erase question follow); a loop device over a block device is
// refused.

#include <string>

// The drive root ("F:\") for text, or empty with a message in the user's
// language naming what is missing (no such drive, no such disk, no
// partition). A relative path is taken from the current folder.
std::wstring ResolveUsbTarget(const std::wstring& text, std::wstring& error);
