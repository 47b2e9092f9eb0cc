#include "pipeline/operationfactory.h"

#include <array>
#include <cassert>
#include <string>

#include "disk/foldertree.h"
#include "disk/volumeutils.h"
#include "pipeline/checkoperation.h"
#include "pipeline/completeoperation.h"
#include "pipeline/copyoperation.h"
#include "pipeline/dismoperation.h"
#include "pipeline/isooperation.h"
#include "pipeline/opmessages.h"
#include "pipeline/steplists.h"
#include "pipeline/steptable.h"
#include "pipeline/usboperation.h"
#include "pipeline/win7inscreator.h"
#include "platform/fs/paths.h"
#include "platform/fs/sysfolders.h"

namespace {

constexpr double kBytesPerMB = 1048576.0;
constexpr size_t kWeightGroups = 4;

std::wstring OtherFolder(const WIN7_OPERAT_INFO& info) {
  return platform::GetProgramFolder() + (info.bIs64bitDVD ? L"Other\\x64" : L"Other\\x86");
}

// The folder a place of the step table names in this run.
std::wstring PlacePath(Win7InsCreator& creator, StepPlace place) {
  const WIN7_OPERAT_INFO& info = creator.Info();
  switch (place) {
    case StepPlace::Source: return info.szSourcePath;
    case StepPlace::Work: return creator.TmpPath();
    case StepPlace::Target: return info.szTagPath;
    case StepPlace::Drivers: return info.szDriverPath;
    case StepPlace::ImageDrivers: return info.szImgDriverPath;
    case StepPlace::Other: return OtherFolder(info);
    case StepPlace::None: break;
  }
  return {};
}

// The folder measured for a weight group.
StepPlace MeasuredPlace(WeightGroup group) {
  switch (group) {
    case WeightGroup::Source: return StepPlace::Source;
    case WeightGroup::ImageDrivers: return StepPlace::ImageDrivers;
    case WeightGroup::Other: return StepPlace::Other;
    case WeightGroup::None: break;
  }
  return StepPlace::None;
}

// Whole MiB of a folder tree, as a floating-point number.
double MeasureMB(const std::wstring& folder) {
  return static_cast<double>(GetFolderSize(folder, true) / static_cast<std::int64_t>(kBytesPerMB));
}

// The stick's UEFI loader goes first, so the source's own "efi" files land
// over it. Whatever it could not copy, the copy of the source still runs:
// the stick then boots in BIOS mode only.
void CopyEfiFolder(const WIN7_OPERAT_INFO& info) {
  if (!info.bIs64bitDVD) return;
  static_cast<void>(
      CopyFolderTree(platform::GetProgramFolder() + L"efi", platform::JoinPath(info.szTagPath, L"efi")));
}

}  // namespace

std::unique_ptr<BasicOperation> CreateOperation(Win7InsCreator& creator) {
  const WIN7_OPERAT_INFO& info = creator.Info();
  const platform::HWND hWnd = creator.Window();
  const int step = creator.CurrentStep();
  const StepRow* row = FindStep(step);
  if (!row) return std::make_unique<CompleteOperation>();
  const std::wstring source = PlacePath(creator, row->source);
  const std::wstring target = PlacePath(creator, row->target);
  switch (row->kind) {
    case StepKind::Check:
      return std::make_unique<CheckOperation>();
    case StepKind::CopyTree: {
      if (step == kStepCopySourceToTarget) CopyEfiFolder(info);
      // Copies into the work folder report as copying the system, onto the
      // target as copying.
      const int state = row->target == StepPlace::Work ? kStateCopyOS : kStateCopy;
      return std::make_unique<CopyOperation>(hWnd, state, source, target, StepWeight(creator, step));
    }
    case StepKind::ServiceBootWim:
    case StepKind::ServiceInstallWim:
      return std::make_unique<DismOperation>(hWnd, target, source, info.bIs64bitDVD,
                                             row->kind == StepKind::ServiceInstallWim, info.szImgDriverPath);
    case StepKind::MakeIso:
      return std::make_unique<ISOOperation>(hWnd, kStateGeneratingIso, source, target,
                                            GetVolumeLabel(info.szSourcePath), info.bIs64bitDVD, info.szIsoTmpFile);
    case StepKind::FormatStick:
      return std::make_unique<USBOperation>(hWnd, target, GetVolumeLabel(source), source);
  }
  return std::make_unique<CompleteOperation>();
}

double StepWeight(Win7InsCreator& creator, int step) {
  const StepRow* wanted = FindStep(step);
  // A step outside the copy groups counts as one, unmeasured.
  if (!wanted || wanted->weight == WeightGroup::None) return 1.0;
  int k = 0;
  double sum = 0.0;
  std::array<double, kWeightGroups> measured{};  // the last measure of each group
  for (int entry : StepList(creator.DlgType())) {
    if (entry == kEndMark) break;
    const StepRow* row = FindStep(entry);
    if (!row || row->weight == WeightGroup::None) continue;
    const double measure = MeasureMB(PlacePath(creator, MeasuredPlace(row->weight)));
    measured[static_cast<size_t>(row->weight)] = measure;
    sum += measure;
    ++k;
  }
  // Copy folders that together hold less than 1 MiB give no proportion to
  // share out; each step then counts as one.
  if (sum == 0.0) return 1.0;
  return k * measured[static_cast<size_t>(wanted->weight)] / sum;
}

int StepCount(int mode) {
  std::vector<int> list = StepList(mode);
  int count = 0;
  for (int step : list) {
    if (step == kEndMark) break;
    ++count;
  }
  return count;
}

bool HasFormatStep(int mode) {
  std::vector<int> list = StepList(mode);
  assert(!list.empty() && "a mode without a step list");
  for (int step : list) {
    const StepRow* row = FindStep(step);
    if (row && row->kind == StepKind::FormatStick) return true;
  }
  return false;
}
