#include "drivers/coveragewarnings.h"

#include "config/ovmultilangdll.h"
#include "drivers/controllercoverage.h"
#include "drivers/driverlibrary.h"
#include "platform/text.h"

namespace drivers {
namespace {

std::wstring W(const std::string& s) { return platform::WideFromAnsi(s); }

std::wstring BlockText(LoadBlock block) { return Translate(LoadBlockKey(block)); }

}  // namespace

std::vector<std::wstring> UndrivenStorageWarnings(bool is64, const std::string& devicesFolder, const std::string& pciIds) {
  const std::string arch = is64 ? "amd64" : "x86";
  const auto coverage = CoverControllers(platform::ReadPciControllers(DevicesOrMachines(devicesFolder)),
                                         DriverLibrary(CurrentLibraryPlace()).ForArch(arch), PciIdDatabase::Load(pciIds), arch);
  std::vector<std::wstring> lines;
  for (const auto& c : coverage) {
    if (!c.function.IsStorageController() || c.Driven()) continue;
    std::wstring line = Translate(L"Drivers Storage Undriven") + L" " + W(c.function.slot + " " + ControllerKind(c.function));
    if (!c.names.vendor.empty()) line += L" " + W(c.names.vendor);
    if (!c.names.device.empty()) line += L", " + W(c.names.device);
    line += L": ";
    if (!c.unloadable.empty())
      line += Translate(L"Drivers Check Not Loaded") + L" " + W(c.unloadable.front().record.name) + L" (" +
              BlockText(c.unloadable.front().block) + L")";
    else
      line += Translate(c.IsNvme() ? L"Drivers Check Nvme" : L"Drivers Check May Need");
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<std::wstring> UnloadablePackageWarnings(bool is64) {
  std::vector<std::wstring> lines;
  if (!is64) return lines;
  for (const auto& record : DriverLibrary(CurrentLibraryPlace()).ForArch("amd64")) {
    const LoadBlock block = Windows7LoadBlock(record, "amd64");
    if (block != LoadBlock::None)
      lines.push_back(Translate(L"Drivers Run Not Loaded") + L" " + W(record.name) + L" (" + BlockText(block) + L")");
  }
  return lines;
}

}  // namespace drivers
