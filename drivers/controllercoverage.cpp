#include "drivers/controllercoverage.h"

#include <cstdio>

#include "disk/tracelog.h"
#include "drivers/driverlibrary.h"
#include "platform/text.h"

namespace drivers {
namespace {

constexpr const char* kTraceTag = "[DriverCoverage] ";
constexpr std::uint8_t kUhci = 0x00;
constexpr std::uint8_t kOhci = 0x10;
constexpr std::uint8_t kEhci = 0x20;

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*x", digits, value);
  return text;
}

}  // namespace

std::vector<ControllerCoverage> CoverControllers(const std::vector<platform::PciFunction>& functions,
                                                 const std::vector<PackageRecord>& packages,
                                                 const PciIdDatabase& names) {
  std::vector<ControllerCoverage> out;
  for (const auto& f : functions) {
    if (!f.IsUsbController()) continue;
    ControllerCoverage c;
    c.function = f;
    c.names = names.Names(f);
    const PackageMatch match = BestMatch(f, packages);
    for (const PackageRecord* p : match.packages) c.packages.push_back(*p);
    c.id = match.id;
    c.rank = match.rank;
    out.push_back(std::move(c));
  }
  return out;
}

std::string ControllerKind(const platform::PciFunction& f) {
  switch (f.classCode & 0xFF) {
    case platform::kXhciInterface: return "xHCI";
    case kEhci: return "EHCI";
    case kOhci: return "OHCI";
    case kUhci: return "UHCI";
    default: return "USB " + Hex(f.classCode & 0xFF, 2);
  }
}

std::string IdText(const platform::PciFunction& f) {
  return Hex(f.vendor, 4) + ":" + Hex(f.device, 4) + " subsystem " + Hex(f.subVendor, 4) + ":" +
         Hex(f.subDevice, 4) + " rev " + Hex(f.revision, 2);
}

std::vector<std::string> CoverageTraceLines(const std::vector<ControllerCoverage>& coverage, const std::string& arch,
                                            std::size_t packageCount) {
  std::vector<std::string> lines;
  lines.push_back(kTraceTag + std::string("USB controllers of this computer: ") + std::to_string(coverage.size()) +
                  ", driver packages for " + arch + ": " + std::to_string(packageCount));
  for (const auto& c : coverage) {
    std::string line = kTraceTag + c.function.slot + " " + ControllerKind(c.function) + " " + IdText(c.function);
    if (!c.names.vendor.empty()) line += " " + c.names.vendor;
    if (!c.names.device.empty()) line += ", " + c.names.device;
    if (!c.packages.empty()) {
      line += " -> ";
      for (size_t i = 0; i < c.packages.size(); ++i) line += (i ? ", " : "") + c.packages[i].name;
      line += " (" + c.id + ")";
    } else if (c.function.IsXhci()) {
      line += " -> no package (vendor " + Hex(c.function.vendor, 4) +
              (c.names.vendor.empty() ? "" : " " + c.names.vendor) + ")";
    } else {
      line += " -> Windows 7's own driver";
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

void TraceDriverCoverage(bool is64, const std::string& devicesFolder, const std::string& pciIds) {
  const std::string arch = is64 ? "amd64" : "x86";
  const std::vector<PackageRecord> packages = DriverLibrary(CurrentLibraryPlace()).ForArch(arch);
  const auto coverage = CoverControllers(platform::ReadUsbControllers(devicesFolder), packages, PciIdDatabase::Load(pciIds));
  for (const std::string& line : CoverageTraceLines(coverage, arch, packages.size()))
    TraceLog(platform::WideFromAnsi(line));
}

}  // namespace drivers
