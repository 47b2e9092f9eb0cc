#include "pipeline/operationfactory.h"

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
#include "pipeline/unavailableoperation.h"
#include "pipeline/usboperation.h"
#include "pipeline/win7inscreator.h"
#include "platform/fs/paths.h"
#include "platform/fs/sysfolders.h"

namespace {

constexpr double kBytesPerMB = 1048576.0;

std::wstring OtherFolder(const WIN7_OPERAT_INFO& info) {
  return platform::GetProgramFolder() + (info.bIs64bitDVD ? L"Other\\x64" : L"Other\\x86");
}

// Whole MiB of a folder tree, as a floating-point number.
double MeasureMB(const std::wstring& folder) {
  return static_cast<double>(GetFolderSize(folder, true) / static_cast<std::int64_t>(kBytesPerMB));
}

// The operations of the copy, driver, ISO and USB steps. A kind this build
// does not have yet stands as an UnavailableOperation, which fails the run
// when it is reached.
std::unique_ptr<BasicOperation> MakeCopy(int, platform::HWND hWnd, int state, const std::wstring& source,
                                         const std::wstring& target, double weight) {
  return std::make_unique<CopyOperation>(hWnd, state, source, target, weight);
}

std::unique_ptr<BasicOperation> MakeDism(int, platform::HWND hWnd, const std::wstring& mediaRoot,
                                         const std::wstring& driverPath, bool is64, bool installWim,
                                         const std::wstring& imageDriverPath) {
  return std::make_unique<DismOperation>(hWnd, mediaRoot, driverPath, is64, installWim, imageDriverPath);
}

std::unique_ptr<BasicOperation> MakeIso(int, platform::HWND hWnd, const std::wstring& folder,
                                        const std::wstring& isoFolder, const std::wstring& label, bool is64) {
  return std::make_unique<ISOOperation>(hWnd, kStateGeneratingIso, folder, isoFolder, label, is64);
}

std::unique_ptr<BasicOperation> MakeUsb(int, platform::HWND hWnd, const std::wstring& usbPath,
                                        const std::wstring& label, const std::wstring& source) {
  return std::make_unique<USBOperation>(hWnd, usbPath, label, source);
}

}  // namespace

std::unique_ptr<BasicOperation> CreateOperation(Win7InsCreator& creator) {
  const WIN7_OPERAT_INFO& info = creator.Info();
  const platform::HWND hWnd = creator.Window();
  const std::wstring& tmp = creator.TmpPath();
  const int step = creator.CurrentStep();
  switch (step) {
    case 1:
      return std::make_unique<CheckOperation>();
    case 2:
      return MakeCopy(step, hWnd, kStateCopy, tmp, info.szTagPath, 1.0);
    case 3:
      return MakeDism(step, hWnd, tmp, info.szDriverPath, info.bIs64bitDVD, false, info.szImgDriverPath);
    case 4:
      return MakeIso(step, hWnd, tmp, info.szTagPath, GetVolumeLabel(info.szSourcePath), info.bIs64bitDVD);
    case 5:
      return MakeUsb(step, hWnd, info.szTagPath, GetVolumeLabel(info.szSourcePath), info.szSourcePath);
    case 6:
      return MakeCopy(step, hWnd, kStateCopyOS, info.szSourcePath, tmp, StepWeight(creator, step));
    case 7:
      return MakeCopy(step, hWnd, kStateCopy, info.szImgDriverPath, info.szTagPath, StepWeight(creator, step));
    case 8:
      if (info.bIs64bitDVD)
        CopyFolderTree(platform::GetProgramFolder() + L"efi", platform::JoinPath(info.szTagPath, L"efi"));
      return MakeCopy(step, hWnd, kStateCopy, info.szSourcePath, info.szTagPath, StepWeight(creator, step));
    case 9:
      return MakeDism(step, hWnd, info.szTagPath, info.szDriverPath, info.bIs64bitDVD, false, info.szImgDriverPath);
    case 16:
      return MakeCopy(step, hWnd, kStateCopyOS, info.szImgDriverPath, tmp, StepWeight(creator, step));
    case 17:
      return MakeDism(step, hWnd, tmp, info.szDriverPath, info.bIs64bitDVD, true, info.szImgDriverPath);
    case 18:
      return MakeDism(step, hWnd, info.szTagPath, info.szDriverPath, info.bIs64bitDVD, true, info.szImgDriverPath);
    case 19:
      return MakeCopy(step, hWnd, kStateCopy, OtherFolder(info), info.szTagPath, StepWeight(creator, step));
    case 20:
      return MakeCopy(step, hWnd, kStateCopyOS, OtherFolder(info), tmp, StepWeight(creator, step));
    default:
      return std::make_unique<CompleteOperation>();
  }
}

double StepWeight(Win7InsCreator& creator, int step) {
  const WIN7_OPERAT_INFO& info = creator.Info();
  int k = 0;
  double sum = 0.0;
  double source = 0.0, imgDriver = 0.0, other = 0.0;
  for (int entry : StepList(creator.DlgType())) {
    if (entry == kEndMark) break;
    double measure;
    if (entry == 6 || entry == 8) measure = source = MeasureMB(info.szSourcePath);
    else if (entry == 7 || entry == 16) measure = imgDriver = MeasureMB(info.szImgDriverPath);
    else if (entry == 19 || entry == 20) measure = other = MeasureMB(OtherFolder(info));
    else continue;
    sum += measure;
    ++k;
  }
  // Copy folders that together hold less than 1 MiB give no proportion to
  // share out; each step then counts as one.
  if (sum == 0.0) return 1.0;
  if (step == 6 || step == 8) return k * source / sum;
  if (step == 7 || step == 16) return k * imgDriver / sum;
  if (step == 19 || step == 20) return k * other / sum;
  return 1.0;
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
  for (int step : list)
    if (step == 5) return true;
  return false;
}
