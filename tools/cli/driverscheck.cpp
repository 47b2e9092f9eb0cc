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
  } else if (f.IsXhci()) {
    console.Say(L"    " + Translate(L"Drivers Check Not Driven") + L" " + Named(c.names.vendor, Hex4(f.vendor)));
  } else if ((f.classCode & 0xFF) < platform::kXhciInterface) {
    console.Say(L"    " + Translate(L"Drivers Check Builtin"));
  } else {
    console.Say(L"    " + Translate(L"Drivers Check Other"));
  }
}

}  // namespace

int CheckDriverCoverage(const drivers::DriverLibrary& library, const std::string& listing, Console& console) {
  std::vector<platform::PciFunction> functions;
  if (listing.empty()) {
    functions = platform::ReadUsbControllers();
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
  if (coverage.empty()) console.Say(Translate(L"Drivers Check None"));
  int xhci = 0;
  int uncovered = 0;
  for (const auto& c : coverage) {
    SayController(c, console);
    xhci += c.function.IsXhci() ? 1 : 0;
    uncovered += c.Uncovered() ? 1 : 0;
  }
  console.Say(Translate(L"Drivers Check Summary") + L" " + std::to_wstring(xhci - uncovered) + L" / " +
              std::to_wstring(xhci));
  return uncovered == 0 ? kExitSuccess : kExitUncovered;
}
