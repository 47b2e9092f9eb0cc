#pragma once
// The warning lines of the wizard's driver box (first page), translated.
// The medium may be made on another computer than the one it is for, so
// they warn and never refuse.

#include <string>
#include <vector>

#include "drivers/pciids.h"
#include "platform/machine/pcicontrollers.h"

namespace drivers {

// This computer's storage controllers that nothing on a medium for the
// architecture would drive (neither Windows 7 itself nor a package it
// loads), one line each: the controller and what to add.
std::vector<std::wstring> UndrivenStorageWarnings(bool is64, const std::string& devicesFolder = "",
                                                  const std::string& pciIds = kPciIdsFile);

// The packages a run for the architecture would use that 64-bit Windows 7
// will not load, one line each with the reason; none for a 32-bit run.
std::vector<std::wstring> UnloadablePackageWarnings(bool is64);

}  // namespace drivers
