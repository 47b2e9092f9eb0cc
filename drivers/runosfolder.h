#pragma once
// The run's OS folder: made afresh in the data folder at the start of every
// run from the program's OS folder (AutoUnattend.xml and the empty vendor
// folders) and the library's packages for the source's architecture, each
// placed by the PCI vendor of its hardware IDs where the driver step looks:
// 8086 Intel\Win7\<arch>, 1022 AMD\<arch>, 1B21 Asmedia, any other vendor
// Others (searched after the named folders). The run's szImgDriverPath
// names it, so the driver staging, the copy onto the medium, the step
// weights and the verification all see the same files.

#include <string>
#include <vector>

#include "drivers/driverlibrary.h"

namespace drivers {

// Below AutoUnattend, '/' separated: "Intel/Win7/x64", "AMD/x86", "Asmedia", "Others".
std::string VendorFolder(const std::string& vendor, bool is64);

// Host paths. False with a message naming the file that failed.
bool MaterialiseRunOsFolder(const std::string& programOsHost, const DriverLibrary& library, bool is64,
                            const std::string& targetHost, std::string& error);

// The front ends' calls, on the current machine: whether its library holds
// a package for the architecture (sample packages only on a sample
// machine), and the run's OS folder (data folder + "OS") made from the
// program's OS folder; its system path, or empty with a message.
bool LibraryServes(bool is64);
// The packages a run for the architecture uses that are not signed for
// Windows or have files that do not match their catalog (added with
// --unsigned, or x86 packages added with warnings). PrepareRunOsFolder
// writes a trace line for each.
std::vector<PackageRecord> PackagesWithFindings(bool is64);
std::wstring PrepareRunOsFolder(bool is64, std::wstring& error);

}  // namespace drivers
