#include "verify/verifyplan.h"

#include <filesystem>
#include <vector>

#include "platform/fs/files.h"
#include "platform/lasterror.h"
#include "platform/fs/paths.h"
#include "platform/text.h"
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

bool AddSystemLayer(VerifyPlan& plan, const std::wstring& folder, const std::string& prefix) {
  std::vector<platform::FindData> entries;
  if (!platform::FindFiles(platform::JoinPath(folder, L"*"), entries) &&
      platform::GetLastError() != platform::ERROR_FILE_NOT_FOUND)
    return false;
  for (const auto& e : entries) {
    if (e.IsDots() || e.IsLink()) continue;
    const std::wstring path = platform::JoinPath(folder, e.name);
    const std::string name = prefix + platform::AnsiFromWide(e.name);
    if (e.IsFolder()) {
      if (!AddSystemLayer(plan, path, name + "/")) return false;
    } else {
      plan.files[FoldPath(name)] = {name, std::string(), path};
    }
  }
  return true;
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
  if (!run.sourceRoot.empty() && !AddSystemLayer(plan, run.sourceRoot, "")) {
    error = "cannot list " + platform::AnsiFromWide(run.sourceRoot);
    return false;
  }
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
