#include "verify/verifyplan.h"

#include <filesystem>
#include <vector>

#include "platform/fs/files.h"
#include "platform/lasterror.h"
#include "platform/fs/paths.h"
#include "pipeline/steptable.h"
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

namespace {

// A copy made beside a step rather than as one: the stick's UEFI loader goes
// in before the source's copy onto the stick (64-bit sources), so the
// source's own "efi" files cover it.
struct CompanionCopy {
  Step step;
  std::string RunShape::*folder;
  const char* prefix;
  const char* bootFile;  // the file the product must then hold
};
const CompanionCopy kCompanions[] = {
    {kStepCopySourceToTarget, &RunShape::efi, "efi/", "efi/boot/bootx64.efi"},
};

const char* WimServicedBy(StepKind kind) {
  if (kind == StepKind::ServiceBootWim) return kBootWim;
  if (kind == StepKind::ServiceInstallWim) return kInstallWim;
  return nullptr;
}

class PlanBuilder {
 public:
  PlanBuilder(const RunShape& run, VerifyPlan& plan, std::string& error) : run_(run), plan_(plan), error_(error) {}

  bool Layer(const std::string& folder, const std::string& prefix) {
    if (folder.empty() || AddLayer(plan_, folder, prefix)) return true;
    error_ = "cannot list " + folder;
    return false;
  }

  // The tree a copy step reads from.
  bool CopiedFrom(StepPlace place) {
    switch (place) {
      case StepPlace::Source:
        // A drive backed by an image has no host folder: read through the
        // platform.
        if (!run_.sourceRoot.empty() && !AddSystemLayer(plan_, run_.sourceRoot, "")) {
          error_ = "cannot list " + platform::AnsiFromWide(run_.sourceRoot);
          return false;
        }
        return Layer(run_.source, "");
      case StepPlace::ImageDrivers: return Layer(run_.os, "");
      case StepPlace::Other: return Layer(run_.other, "");
      case StepPlace::Work: return Layer(run_.work, "");
      default: return true;
    }
  }

 private:
  const RunShape& run_;
  VerifyPlan& plan_;
  std::string& error_;
};

}  // namespace

bool PlanForRun(const RunShape& run, VerifyPlan& plan, std::string& error) {
  plan = VerifyPlan{};
  PlanBuilder builder(run, plan, error);
  std::vector<const StepRow*> serviced;
  plan.bootFiles.push_back("bootmgr");
  for (int step : run.steps) {
    const StepRow* row = FindStep(step);
    if (!row) break;  // the end mark
    for (const CompanionCopy& companion : kCompanions) {
      if (companion.step != step || !run.is64) continue;
      if (!builder.Layer(run.*companion.folder, companion.prefix)) return false;
      plan.bootFiles.push_back(companion.bootFile);
    }
    if (row->kind == StepKind::CopyTree && !builder.CopiedFrom(row->source)) return false;
    if (WimServicedBy(row->kind)) serviced.push_back(row);
    if (row->kind == StepKind::MakeIso) plan.bootEntries = run.is64 ? kBootEntries64 : kBootEntries32;
  }
  for (const StepRow* row : serviced) {
    const auto it = plan.files.find(WimServicedBy(row->kind));
    if (it == plan.files.end()) continue;  // the source has none: nothing was serviced
    // Serviced in the work folder: the copy that went into the image is the
    // reference (the work folder is a copy of the source, the same spelling
    // of the name); serviced in place: the product's own file is verified.
    const PlannedFile& file = it->second;
    plan.wims.push_back(
        {file.name, row->target == StepPlace::Work ? (std::filesystem::path(run.work) / file.name).string() : ""});
    plan.files.erase(it);
  }
  return true;
}

}  // namespace verify
