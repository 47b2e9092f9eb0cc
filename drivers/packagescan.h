#pragma once
// Finds every INF file below a folder and checks each as a USB 3.0 or a
// storage driver package with the servicing layer's reader
// (LoadDriverPackage) for x86 and amd64: a driver INF, the USB class (host
// controllers and hubs) or a disk controller's class (SCSIAdapter, HDC), models for
// at least one of the two, every file it lists present, a catalog file named
// and present. Links are never followed.

#include <string>
#include <vector>

#include "drivers/packagerecord.h"

namespace drivers {

struct PackageFileRef {
  std::string relative;  // inside the package (relative to the INF's folder), '/' separated
  std::string host;      // where it is now
};

struct FoundPackage {
  PackageRecord record;               // origin, added and sample are the caller's
  std::string found;                  // the INF relative to the scanned folder
  std::vector<PackageFileRef> files;  // the INF first
};

enum class RefusalCode { NotDriverInf, UnsupportedClass, NoModels, MissingFiles, NoCatalog, Unreadable, NoInf };

struct Refusal {
  std::string file;    // the INF (or the folder, for NoInf), relative to the scanned folder
  RefusalCode code;
  std::string detail;  // the reader's own message, or the class found (its GUID when it has no name)
};

// folderHost: an absolute host folder that has a system path (the
// platform's Z: drive). One entry per INF in found or refused; NoInf when
// there is none at all.
void ScanFolder(const std::string& folderHost, std::vector<FoundPackage>& found, std::vector<Refusal>& refused);

// The PCI vendor a package's hardware IDs name ("VEN_8086", "VID_1B21"), in
// lower-case hexadecimal; the first one found, empty when none.
std::string PackageVendor(const std::vector<std::string>& hardwareIds);

}  // namespace drivers
