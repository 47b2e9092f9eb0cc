#pragma once
// The run's OS folder: made afresh in the data folder at the start of every
// run from the program's OS folder (AutoUnattend.xml and the empty vendor
// folders) and the library's packages for the source's architecture, each
// placed by the PCI vendor of its hardware IDs where the driver step looks:
// 8086 Intel\Win7\<arch>, 1022 AMD\<arch>, 1B21 Asmedia, any other vendor
// Others (searched after the named folders); storage packages, of any
// vendor, in Storage (searched last). The run's szImgDriverPath
// names it, so the driver staging, the copy onto the medium, the step
// weights and the verification all see the same files.

#include <string>
#include <vector>

#include "drivers/driverlibrary.h"

namespace drivers {

// Below AutoUnattend, '/' separated: "Intel/Win7/x64", "AMD/x86", "Asmedia", "Others".
std::string VendorFolder(const std::string& vendor, bool is64);
// Below AutoUnattend: the folder of the storage packages.
inline constexpr const char* kStorageFolder = "Storage";

// The storage packages a run's OS folder (a system path) holds: the names
// of the package folders in its AutoUnattend\Storage folder, sorted; empty
// when there is none. A run with one forces compatibility mode, as an
// Embedded source does, so the installed system gets the disk's driver too.
std::vector<std::string> StoragePackagesIn(const std::wstring& runOsFolder);

// Host paths. False with a message naming the file that failed.
bool MaterialiseRunOsFolder(const std::string& programOsHost, const DriverLibrary& library, bool is64,
                            const std::string& targetHost, std::string& error);

// The front ends' calls, on the current machine: whether its library holds
// a USB package for the architecture (sample packages only on a sample
// machine; storage packages alone leave USB 3.0 ports dead), whether it
// holds a storage package for it, and the run's OS folder (data folder +
// "OS") made from the program's OS folder; its system path, or empty with
// a message.
bool LibraryServes(bool is64);
bool LibraryHoldsStorage(bool is64);
// The packages a run for the architecture uses that are not signed for
// Windows or have files that do not match their catalog (added with
// --unsigned, or x86 packages added with warnings). PrepareRunOsFolder
// writes a trace line for each.
std::vector<PackageRecord> PackagesWithFindings(bool is64);
std::wstring PrepareRunOsFolder(bool is64, std::wstring& error);

}  // namespace drivers
