#pragma once
// The checks both front ends make before a job, on the current machine: the
// drives they offer, the source's size and architecture, and whether a USB
// stick or an ISO folder can take the product. Sizes are whole MiB compared
// as integers; every target must hold the source plus kHeadroomMB. Results
// are verdicts and the keys of their texts: the front ends present them.

#include <cstdint>
#include <string>
#include <vector>

inline constexpr int kHeadroomMB = 500;

// What a target must hold: the source plus the headroom.
int RequiredMB(int sourceMB);

// What the work folder warning names: the required size, twice in ISO mode
// (the work folder and the image beside it).
int SpaceNeededMB(int sourceMB, int mode);

// The roots of the machine's drives in letter order ("C:\", "E:\").
std::vector<std::wstring> DriveRoots();
// Those the system reports as CD-ROM drives: the sources offered.
std::vector<std::wstring> OpticalDriveRoots();
// Those on the USB bus: the sticks offered.
std::vector<std::wstring> UsbDriveRoots();

// The source's size in MiB; 0 for a drive without a disc.
int SourceSizeMB(const std::wstring& root);
// sources\idwbinfo.txt of the source's drive names an AMD64 build.
bool SourceIs64Bit(const std::wstring& source);

// A stick's total size in MiB; 0 when it is not ready.
std::int64_t StickCapacityMB(const std::wstring& root);
// A stick of capacityMB can take a source of sourceMB (at least the required size).
bool StickBigEnough(std::int64_t capacityMB, int sourceMB);
// The root is a partition of a USB disk: a blank or table-less stick is not.
bool IsUsbStickPartition(const std::wstring& root);

// A computer starts Windows 7 only from a disk of 512-byte sectors: the
// stick's disk has them (or reports no size, as a profile's folder drive).
bool StickSectorsStartWindows(const std::wstring& root);
// Its disk's logical sector size in bytes, for the refusal's text.
std::uint32_t StickSectorBytes(const std::wstring& root);

// Why the stick's disk may not be erased now (the system or the kernel
// holds it: a mount in another namespace, swap, a stacked device); "" when
// it may. Asked right before the format question.
std::wstring StickRefusal(const std::wstring& root);

// What the media would lack for the source's architecture, one line per
// gap, for the drivers box both front ends show when the source is chosen;
// empty when nothing is missing. Today: no package of the driver library
// serves the architecture. Further gaps (packages 64-bit Windows 7 will not
// load, storage controllers no package drives) are lines of this list.
std::vector<std::wstring> DriverGapLines(bool is64);

// What the media would carry that will not help, one line each, for the
// same box as a warning that refuses nothing (the medium may be made for
// another computer): packages of the run 64-bit Windows 7 will not load,
// and this computer's storage controllers no package or Windows 7 drives.
std::vector<std::wstring> DriverWarningLines(bool is64);

enum class IsoFolderVerdict { Accepted, NotNtfs, TooSmall, InsideWorkFolder };

// The ISO folder, which exists, for a source of sourceMB: its volume is NTFS
// with more than the required size free, and it keeps apart from the work
// folder. Checked in that order; the first that fails is the verdict.
IsoFolderVerdict CheckIsoFolder(const std::wstring& folder, int sourceMB);
// The message key of a refusal; null for Accepted.
const wchar_t* IsoFolderKey(IsoFolderVerdict verdict);
