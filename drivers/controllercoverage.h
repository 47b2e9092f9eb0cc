#pragma once
// Which USB controllers the library's packages drive: each controller with
// its names from the PCI ID database and the packages Windows would pick for
// it by ID (hardwareid.h). Only xHCI controllers need a package: Windows 7
// drives UHCI, OHCI and EHCI controllers with its own drivers.

#include <string>
#include <vector>

#include "drivers/hardwareid.h"
#include "drivers/packagerecord.h"
#include "drivers/pciids.h"
#include "platform/machine/pcicontrollers.h"

namespace drivers {

struct ControllerCoverage {
  platform::PciFunction function;
  PciNames names;
  std::vector<PackageRecord> packages;  // the packages at the best rank; empty when none drives it
  std::string id;                       // the ID they matched by (upper case)
  int rank = -1;

  // An xHCI controller no package drives: the medium would leave its ports dead.
  bool Uncovered() const { return function.IsXhci() && packages.empty(); }
};

// The USB controllers among functions, in their order, each with what drives it.
std::vector<ControllerCoverage> CoverControllers(const std::vector<platform::PciFunction>& functions,
                                                 const std::vector<PackageRecord>& packages,
                                                 const PciIdDatabase& names);

// "xHCI", "EHCI", "OHCI", "UHCI", else "USB" and the interface in hexadecimal.
std::string ControllerKind(const platform::PciFunction& function);
// "8086:9d2f subsystem 17aa:2247 rev 21"
std::string IdText(const platform::PciFunction& function);

// The summary lines of the trace log (without the trace log's own time):
// a heading with the architecture and counts, then one line per controller.
std::vector<std::string> CoverageTraceLines(const std::vector<ControllerCoverage>& coverage, const std::string& arch,
                                            std::size_t packageCount);

// Writes the summary for a run's architecture to the trace log: this
// computer's controllers (sysfs), the library's packages for the run and the
// PCI ID database. For the first trace lines of every run, in both front ends;
// tests name a sysfs devices folder and a database of their own.
void TraceDriverCoverage(bool is64, const std::string& devicesFolder = platform::kSysPciDevices,
                         const std::string& pciIds = kPciIdsFile);

}  // namespace drivers
