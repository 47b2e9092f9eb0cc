#pragma once
// Which USB and storage controllers the library's packages drive: each
// controller with its names from the PCI ID database and the packages
// Windows would pick for it by ID (hardwareid.h) among those Windows 7 would
// load (windows7load.h). Windows 7 drives UHCI, OHCI and EHCI controllers,
// IDE and SATA AHCI controllers with its own drivers; an xHCI controller
// needs a package and, for its root hub, its vendor's hub driver; an NVMe
// controller needs a package (Windows 7 SP1 has no NVMe driver); RAID, SAS
// and other disk controllers may need one.

#include <string>
#include <vector>

#include "drivers/hardwareid.h"
#include "drivers/packagerecord.h"
#include "drivers/pciids.h"
#include "drivers/windows7load.h"
#include "platform/machine/pcicontrollers.h"

namespace drivers {

// A package naming the controller that Windows 7 would not load.
struct UnloadablePackage {
  PackageRecord record;
  std::string arch;  // the architecture it would not load on
  LoadBlock block;
};

struct ControllerCoverage {
  platform::PciFunction function;
  PciNames names;
  std::vector<PackageRecord> packages;  // the loadable packages at the best rank; empty when none drives it
  std::string id;                       // the ID they matched by (upper case)
  int rank = -1;
  // When no loadable package names it: those that name it but would not load.
  std::vector<UnloadablePackage> unloadable;
  // An xHCI controller whose package's vendor has no root hub driver in the
  // library: the host controller starts, its ports find nothing.
  bool hubMissing = false;
  std::string hubVendor;  // that vendor, 4 lower-case hex digits

  // Windows 7 drives it with a driver of its own (USB 1.1/2.0, IDE, SATA AHCI).
  bool Builtin() const;
  bool Driven() const { return packages.empty() ? Builtin() : !hubMissing; }
  // An xHCI controller nothing drives: the medium would leave its ports dead.
  bool Uncovered() const { return function.IsXhci() && !Driven(); }
  // An NVMe controller: no driver of Windows 7 SP1 drives one.
  bool IsNvme() const;
};

// The USB and storage controllers among functions, in their order, each with
// what drives it. arch: the run's ("x86", "amd64"); empty when there is no
// run: a package then counts when Windows 7 loads it on every architecture
// it serves.
std::vector<ControllerCoverage> CoverControllers(const std::vector<platform::PciFunction>& functions,
                                                 const std::vector<PackageRecord>& packages, const PciIdDatabase& names,
                                                 const std::string& arch = "");

// "xHCI", "EHCI", "OHCI", "UHCI", else "USB" and the interface in
// hexadecimal; "IDE", "AHCI", "SATA", "RAID", "SAS", "NVMe", "SCSI", else
// "storage" and the subclass and interface in hexadecimal.
std::string ControllerKind(const platform::PciFunction& function);
// "8086:9d2f subsystem 17aa:2247 rev 21"
std::string IdText(const platform::PciFunction& function);

// The summary lines of the trace log (without the trace log's own time):
// a heading with the architecture and counts, one line per USB controller,
// then a heading and one line per storage controller.
std::vector<std::string> CoverageTraceLines(const std::vector<ControllerCoverage>& coverage, const std::string& arch,
                                            std::size_t packageCount);

// Writes the summary for a run's architecture to the trace log: this
// computer's controllers (sysfs), the library's packages for the run and the
// PCI ID database. For the first trace lines of every run, in both front ends;
// tests name a sysfs devices folder and a database of their own. An empty
// devicesFolder is the machine's (DevicesOrMachines).
void TraceDriverCoverage(bool is64, const std::string& devicesFolder = "",
                         const std::string& pciIds = kPciIdsFile);

// devicesFolder, or when empty the machine's PCI device tree (the host's
// sysfs, or a test machine's stand-in).
std::string DevicesOrMachines(const std::string& devicesFolder);

}  // namespace drivers
