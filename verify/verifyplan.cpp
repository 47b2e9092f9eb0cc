#include "verify/verifyplan.h"

#include <filesystem>

#include "verify/producttree.h"

namespace verify {

namespace {
const char* const kBootWim = "sources/boot.wim";
const char* const kInstallWim = "sources/install.wim";
constexpr int kBootEntries64 = 2;  // BIOS and UEFI
constexpr int kBootEntries32 = 1;
}  // namespace

bool AddLayer(VerifyPlan& plan, const std::string& hostFolder, const std::string& prefix) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::recursive_directory_iterator it(hostFolder, ec), end;
  if (ec) return false;
  for (; it != end; it.increment(ec)) {
    if (ec) return false;
    if (it->is_regular_file(ec) && !it->is_symlink(ec)) {
      const std::string name = prefix + fs::relative(it->path(), hostFolder, ec).generic_string();
      plan.files[FoldPath(name)] = {name, it->path().string()};
    }
  }
  return !ec;
}

bool PlanForRun(const RunShape& run, VerifyPlan& plan, std::string& error) {
  plan = VerifyPlan{};
  auto layer = [&](const std::string& folder, const std::string& prefix) {
    if (folder.empty() || AddLayer(plan, folder, prefix)) return true;
    error = "cannot list " + folder;
    return false;
  };
  // In the order the mode's chain copies them, a later copy overwriting an
  // earlier one: USB mode copies "OS" before "Other", ISO mode after it.
  const std::string os = run.compatible ? std::string() : run.os;
  if (run.mode == 0 && run.is64 && !layer(run.efi, "efi/")) return false;
  if (!layer(run.source, "")) return false;
  if (run.mode == 0 && !layer(os, "")) return false;
  if (!layer(run.other, "")) return false;
  if (run.mode != 0 && !layer(os, "")) return false;

  std::vector<std::string> serviced = {kBootWim};
  if (run.compatible) serviced.push_back(kInstallWim);
  for (const std::string& wim : serviced) {
    const auto it = plan.files.find(wim);
    if (it == plan.files.end()) continue;  // the source has none: nothing was serviced
    // The work folder is a copy of the source: the same spelling of the name.
    const PlannedFile& file = it->second;
    plan.wims.push_back({file.name, run.mode == 1 ? (std::filesystem::path(run.work) / file.name).string() : std::string()});
    plan.files.erase(it);
  }
  plan.bootFiles.push_back("bootmgr");
  if (run.mode == 0 && run.is64) plan.bootFiles.push_back("efi/boot/bootx64.efi");
  if (run.mode == 1) plan.bootEntries = run.is64 ? kBootEntries64 : kBootEntries32;
  return true;
}

}  // namespace verify
