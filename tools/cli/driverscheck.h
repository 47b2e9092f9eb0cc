#pragma once
// `kestrunex-cli drivers check [--lspci FILE]`: the USB and storage
// controllers of this computer (sysfs) or of the machine a saved
// `lspci -vmmnn` / `lspci -nnv` listing describes, each with its names and
// the library's package that drives it (one Windows 7 would load), or
// Windows 7's own driver, or what to add.
//
// Exit status: 0 when every xHCI (USB 3.0) controller is driven by a package
// (also when there is none) and, when there are storage controllers, at
// least one of them is driven (a listing shows no disks); kExitUncovered
// otherwise; 1 when the listing cannot be read or holds no PCI function.

#include <string>

#include "drivers/driverlibrary.h"
#include "tools/cli/console.h"

inline constexpr int kExitUncovered = 3;

// listing: a host path, or empty for this computer.
int CheckDriverCoverage(const drivers::DriverLibrary& library, const std::string& listing, Console& console);
