#include "drivers/controllercoverage.h"

#include <algorithm>
#include <cstdio>

#include "disk/tracelog.h"
#include "drivers/driverlibrary.h"
#include "drivers/packagescan.h"
#include "platform/machine/machine.h"
#include "platform/text.h"

namespace drivers {
namespace {

constexpr const char* kTraceTag = "[DriverCoverage] ";
constexpr std::uint8_t kUhci = 0x00;
constexpr std::uint8_t kOhci = 0x10;
constexpr std::uint8_t kEhci = 0x20;
// Mass-storage subclasses and interfaces (class 0x01).
constexpr std::uint32_t kScsi = 0x00;
constexpr std::uint32_t kIde = 0x01;
constexpr std::uint32_t kRaid = 0x04;
constexpr std::uint32_t kSata = 0x06;
constexpr std::uint32_t kSas = 0x07;
constexpr std::uint32_t kNvm = 0x08;
constexpr std::uint32_t kAhciInterface = 0x01;
constexpr std::uint32_t kNvmeInterface = 0x02;
// A root hub's ID as host drivers enumerate it: "IUSB3\ROOT_HUB30&VID_8086&PID_1E31".
constexpr const char* kRootHub = "\\ROOT_HUB";

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*x", digits, value);
  return text;
}

std::uint32_t Subclass(const platform::PciFunction& f) { return (f.classCode >> 8) & 0xFF; }
std::uint32_t Interface(const platform::PciFunction& f) { return f.classCode & 0xFF; }

// Whether Windows 7 loads the package for the run's architecture, or for
// every one it serves when there is no run; the first refusal when not.
bool Loads(const PackageRecord& record, const std::string& arch, UnloadablePackage& why) {
  std::vector<std::string> archs = arch.empty() ? record.archs : std::vector<std::string>{arch};
  for (const auto& a : archs) {
    const LoadBlock block = Windows7LoadBlock(record, a);
    if (block != LoadBlock::None) {
      why = {record, a, block};
      return false;
    }
  }
  return true;
}

// A loadable USB package that drives the root hub of the vendor's host controllers.
bool HasRootHub(const std::vector<PackageRecord>& loadable, const std::string& vendor) {
  const std::string tag = "VID_" + ComparableId(vendor);
  for (const auto& p : loadable) {
    if (p.kind != PackageKind::Usb) continue;
    for (const auto& raw : p.hardwareIds) {
      const std::string id = ComparableId(raw);
      if (id.find(kRootHub) != std::string::npos && id.find(tag) != std::string::npos) return true;
    }
  }
  return false;
}


std::string ControllerLine(const ControllerCoverage& c) {
  std::string line = kTraceTag + c.function.slot + " " + ControllerKind(c.function) + " " + IdText(c.function);
  if (!c.names.vendor.empty()) line += " " + c.names.vendor;
  if (!c.names.device.empty()) line += ", " + c.names.device;
  if (!c.packages.empty()) {
    line += " -> ";
    for (size_t i = 0; i < c.packages.size(); ++i) line += (i ? ", " : "") + c.packages[i].name;
    line += " (" + c.id + ")";
    if (c.hubMissing) line += ", but no root hub driver of vendor " + c.hubVendor;
    return line;
  }
  if (c.Builtin()) return line + " -> Windows 7's own driver";
  if (!c.unloadable.empty()) {
    const UnloadablePackage& u = c.unloadable.front();
    return line + " -> no package Windows 7 loads (" + u.record.name + ": " + u.arch + " " + LoadBlockText(u.block) + ")";
  }
  if (c.function.IsXhci())
    return line + " -> no package (vendor " + Hex(c.function.vendor, 4) +
           (c.names.vendor.empty() ? "" : " " + c.names.vendor) + ")";
  if (c.IsNvme()) return line + " -> no package (Windows 7 SP1 has no NVMe driver)";
  return line + " -> no package (may need a vendor driver)";
}

}  // namespace

bool ControllerCoverage::Builtin() const {
  const platform::PciFunction& f = function;
  if (f.IsUsbController()) return Interface(f) < platform::kXhciInterface;
  if (!f.IsStorageController()) return false;
  return Subclass(f) == kIde || (Subclass(f) == kSata && Interface(f) == kAhciInterface);
}

bool ControllerCoverage::IsNvme() const {
  return function.IsStorageController() && Subclass(function) == kNvm && Interface(function) == kNvmeInterface;
}

std::vector<ControllerCoverage> CoverControllers(const std::vector<platform::PciFunction>& functions,
                                                 const std::vector<PackageRecord>& packages, const PciIdDatabase& names,
                                                 const std::string& arch) {
  std::vector<PackageRecord> loadable;
  std::vector<UnloadablePackage> refused;
  for (const auto& p : packages) {
    UnloadablePackage why{p, "", LoadBlock::None};
    if (Loads(p, arch, why)) loadable.push_back(p);
    else refused.push_back(std::move(why));
  }
  std::vector<PackageRecord> refusedRecords;
  for (const auto& r : refused) refusedRecords.push_back(r.record);

  std::vector<ControllerCoverage> out;
  for (const auto& f : functions) {
    if (!f.IsUsbController() && !f.IsStorageController()) continue;
    ControllerCoverage c;
    c.function = f;
    c.names = names.Names(f);
    const PackageMatch match = BestMatch(f, loadable);
    for (const PackageRecord* p : match.packages) c.packages.push_back(*p);
    c.id = match.id;
    c.rank = match.rank;
    if (c.packages.empty()) {
      for (const PackageRecord* p : BestMatch(f, refusedRecords).packages)
        c.unloadable.push_back(refused[static_cast<std::size_t>(p - refusedRecords.data())]);
    } else if (f.IsXhci()) {
      // The root hub's driver comes from the host driver's vendor.
      const auto vendorOf = [&](const PackageRecord& p) {
        const std::string v = PackageVendor(p.hardwareIds);
        return v.empty() ? Hex(f.vendor, 4) : v;
      };
      c.hubMissing = std::none_of(c.packages.begin(), c.packages.end(),
                                  [&](const PackageRecord& p) { return HasRootHub(loadable, vendorOf(p)); });
      if (c.hubMissing) c.hubVendor = vendorOf(c.packages.front());
    }
    out.push_back(std::move(c));
  }
  return out;
}

std::string ControllerKind(const platform::PciFunction& f) {
  if (f.IsStorageController()) {
    switch (Subclass(f)) {
      case kScsi: return "SCSI";
      case kIde: return "IDE";
      case kRaid: return "RAID";
      case kSata: return Interface(f) == kAhciInterface ? "AHCI" : "SATA";
      case kSas: return "SAS";
      case kNvm: return Interface(f) == kNvmeInterface ? "NVMe" : "NVM " + Hex(Interface(f), 2);
      default: return "storage " + Hex(Subclass(f), 2) + Hex(Interface(f), 2);
    }
  }
  switch (Interface(f)) {
    case platform::kXhciInterface: return "xHCI";
    case kEhci: return "EHCI";
    case kOhci: return "OHCI";
    case kUhci: return "UHCI";
    default: return "USB " + Hex(Interface(f), 2);
  }
}

std::string IdText(const platform::PciFunction& f) {
  return Hex(f.vendor, 4) + ":" + Hex(f.device, 4) + " subsystem " + Hex(f.subVendor, 4) + ":" +
         Hex(f.subDevice, 4) + " rev " + Hex(f.revision, 2);
}

std::vector<std::string> CoverageTraceLines(const std::vector<ControllerCoverage>& coverage, const std::string& arch,
                                            std::size_t packageCount) {
  std::vector<std::string> usb, storage;
  for (const auto& c : coverage) (c.function.IsStorageController() ? storage : usb).push_back(ControllerLine(c));
  std::vector<std::string> lines;
  lines.push_back(kTraceTag + std::string("USB controllers of this computer: ") + std::to_string(usb.size()) +
                  ", driver packages for " + arch + ": " + std::to_string(packageCount));
  lines.insert(lines.end(), usb.begin(), usb.end());
  lines.push_back(kTraceTag + std::string("Storage controllers of this computer: ") + std::to_string(storage.size()));
  lines.insert(lines.end(), storage.begin(), storage.end());
  return lines;
}

std::string DevicesOrMachines(const std::string& devicesFolder) {
  return devicesFolder.empty() ? platform::CurrentMachine().PciDevices() : devicesFolder;
}

void TraceDriverCoverage(bool is64, const std::string& devicesFolder, const std::string& pciIds) {
  const std::string arch = is64 ? "amd64" : "x86";
  const std::vector<PackageRecord> packages = DriverLibrary(CurrentLibraryPlace()).ForArch(arch);
  const auto coverage =
      CoverControllers(platform::ReadPciControllers(DevicesOrMachines(devicesFolder)), packages, PciIdDatabase::Load(pciIds), arch);
  for (const std::string& line : CoverageTraceLines(coverage, arch, packages.size()))
    TraceLog(platform::WideFromAnsi(line));
}

}  // namespace drivers
