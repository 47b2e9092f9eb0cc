#include "tools/cli/driverscheck.h"

#include <cstdio>

#include "config/ovmultilangdll.h"
#include "drivers/controllercoverage.h"
#include "drivers/lspcilisting.h"
#include "drivers/pciids.h"
#include "platform/fs/readfile.h"
#include "platform/machine/pcicontrollers.h"
#include "platform/text.h"
#include "tools/cli/headlessjob.h"

namespace {

// Names and fields from packages, listings and databases: shown, never acted on.
std::wstring W(const std::string& s) { return platform::PrintableText(platform::WideFromAnsi(s)); }

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value);
  return text;
}

// "Intel Corporation [8086]", or "[8086]" when the database has no name.
std::wstring Named(const std::string& name, const std::string& id) {
  return W(name.empty() ? "[" + id + "]" : name + " [" + id + "]");
}

void SayController(const drivers::ControllerCoverage& c, Console& console) {
  const platform::PciFunction& f = c.function;
  std::wstring line = W(f.slot + "  " + drivers::ControllerKind(f) + "  ") + Named(c.names.vendor, Hex4(f.vendor)) +
                      L"  " + Named(c.names.device, Hex4(f.device));
  if (f.subVendor != 0 || f.subDevice != 0) {
    std::string sub = c.names.subVendor;
    if (!c.names.subsystem.empty()) sub += (sub.empty() ? "" : " ") + c.names.subsystem;
    line += L"  " + Translate(L"Drivers Check Subsystem") + L" " + Named(sub, Hex4(f.subVendor) + ":" + Hex4(f.subDevice));
  }
  char rev[8];
  std::snprintf(rev, sizeof rev, "%02x", f.revision);
  console.Say(line + L"  rev " + W(rev));

  if (!c.packages.empty()) {
    std::wstring names;
    for (const auto& p : c.packages) names += (names.empty() ? L"" : L", ") + W(p.name + " (" + p.ArchText() + ")");
    console.Say(L"    " + Translate(L"Drivers Check Driven") + L" " + names + L", " +
                Translate(L"Drivers Check Matched") + L" " + W(c.id));
    if (c.hubMissing) console.Say(L"    " + Translate(L"Drivers Check Hub Missing") + L" " + W(c.hubVendor));
  } else if (!c.unloadable.empty()) {
    const drivers::UnloadablePackage& u = c.unloadable.front();
    console.Say(L"    " + Translate(L"Drivers Check Not Loaded") + L" " + W(u.record.name) + L" (" + W(u.arch) + L": " +
                Translate(drivers::LoadBlockKey(u.block)) +
                L")");
  } else if (c.Builtin()) {
    console.Say(L"    " + Translate(f.IsStorageController() ? L"Drivers Check Storage Builtin" : L"Drivers Check Builtin"));
  } else if (f.IsXhci()) {
    console.Say(L"    " + Translate(L"Drivers Check Not Driven") + L" " + Named(c.names.vendor, Hex4(f.vendor)));
  } else if (c.IsNvme()) {
    console.Say(L"    " + Translate(L"Drivers Check Nvme"));
  } else if (f.IsStorageController()) {
    console.Say(L"    " + Translate(L"Drivers Check May Need"));
  } else {
    console.Say(L"    " + Translate(L"Drivers Check Other"));
  }
}

}  // namespace

int CheckDriverCoverage(const drivers::DriverLibrary& library, const std::string& listing, Console& console) {
  std::vector<platform::PciFunction> functions;
  if (listing.empty()) {
    functions = platform::ReadPciControllers();
    console.Say(Translate(L"Drivers Check Here"));
  } else {
    const platform::DWORD error = drivers::ReadLspciListing(listing, functions);
    if (error != platform::ERROR_SUCCESS) {
      console.Complain(Translate(L"Drivers Check Unreadable") + L" " + W(listing) + L": " +
                       W(platform::ReadFileErrorText(error)));
      return kExitFailure;
    }
    if (functions.empty()) {
      console.Complain(Translate(L"Drivers Check No Listing") + L" " + W(listing));
      return kExitFailure;
    }
    console.Say(Translate(L"Drivers Check File") + L" " + W(listing));
  }
  // The packages a run may use: samples only where the machine lets them count.
  std::vector<drivers::PackageRecord> packages;
  for (auto& record : library.List())
    if (!record.sample || library.Place().samplesCount) packages.push_back(std::move(record));

  const auto coverage = drivers::CoverControllers(functions, packages, drivers::PciIdDatabase::Load());
  int usb = 0, xhci = 0, uncovered = 0, storage = 0, storageDriven = 0;
  for (const auto& c : coverage) {
    if (c.function.IsStorageController()) continue;
    SayController(c, console);
    ++usb;
    xhci += c.function.IsXhci() ? 1 : 0;
    uncovered += c.Uncovered() ? 1 : 0;
  }
  if (usb == 0) console.Say(Translate(L"Drivers Check None"));
  console.Say(Translate(L"Drivers Check Storage"));
  for (const auto& c : coverage) {
    if (!c.function.IsStorageController()) continue;
    SayController(c, console);
    ++storage;
    storageDriven += c.Driven() ? 1 : 0;
  }
  if (storage == 0) console.Say(Translate(L"Drivers Check No Storage"));
  console.Say(Translate(L"Drivers Check Summary") + L" " + std::to_wstring(xhci - uncovered) + L" / " +
              std::to_wstring(xhci));
  console.Say(Translate(L"Drivers Check Storage Summary") + L" " + std::to_wstring(storageDriven) + L" / " +
              std::to_wstring(storage));
  // A listing shows no disks: storage controllers none of which is driven
  // leave Setup without a disk to install onto.
  return uncovered == 0 && (storage == 0 || storageDriven > 0) ? kExitSuccess : kExitUncovered;
}
