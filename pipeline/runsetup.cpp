#include "pipeline/runsetup.h"

#include "disk/appfolders.h"
#include "disk/foldertree.h"
#include "disk/tracelog.h"
#include "drivers/controllercoverage.h"
#include "drivers/runosfolder.h"
#include "pipeline/isoimagefile.h"
#include "pipeline/jobchecks.h"
#include "pipeline/steplists.h"
#include "platform/lasterror.h"
#include "platform/text.h"

namespace {
constexpr size_t kRootChars = 3;
}  // namespace

RunSetup PrepareRun(const std::wstring& source, const std::wstring& target, int mode, int sourceMB) {
  RunSetup setup;
  const bool is64 = SourceIs64Bit(source);
  WIN7_OPERAT_INFO& info = setup.info;
  SetInfoField(info.szSourcePath, source);
  SetInfoField(info.szDriverPath, platform::WideFromAnsi(GetAppDataFolder()) + L"U3");
  SetInfoField(info.szTagPath, mode == kModeUsb ? target.substr(0, kRootChars) : target);
  if (mode == kModeIso && !CreateIsoImageTempFile(target, setup.isoTempFile)) {
    setup.result = RunSetupResult::IsoFolderNotWritable;
    setup.why = target + L" (error " + std::to_wstring(platform::GetLastError()) + L")";
    return setup;
  }
  SetInfoField(info.szIsoTmpFile, setup.isoTempFile);
  setup.workFolder = GetWorkFolder(RequiredMB(sourceMB), target);
  if (setup.workFolder.empty()) {
    setup.result = RunSetupResult::NoWorkFolder;
    return setup;
  }
  SetInfoField(info.szTmpPath, setup.workFolder);
  // The run's OS folder: the program's OS folder and the library's drivers.
  const std::wstring imageDriverFolder = drivers::PrepareRunOsFolder(is64, setup.why);
  if (imageDriverFolder.empty()) {
    setup.result = RunSetupResult::NoRunOsFolder;
    return setup;
  }
  SetInfoField(info.szImgDriverPath, imageDriverFolder);
  info.bIs64bitDVD = is64;
  setup.result = RunSetupResult::Ready;
  return setup;
}

void EndRunFolders(const RunSetup& setup) {
  if (!setup.workFolder.empty() && !DeleteFolderTree(setup.workFolder)) DeleteFolderContents(setup.workFolder);
  RemoveIsoImageTempFile(setup.isoTempFile);
}

void WriteRunStart(const WIN7_OPERAT_INFO& info, int mode) {
  TraceLog(std::wstring(L"WIN7_OPERAT_INFO:szSourcePath: ") + info.szSourcePath);
  TraceLog(std::wstring(L"WIN7_OPERAT_INFO:szDriverPath: ") + info.szDriverPath);
  TraceLog(std::wstring(L"WIN7_OPERAT_INFO:szImgDriverPath: ") + info.szImgDriverPath);
  TraceLog(std::wstring(L"WIN7_OPERAT_INFO:szTagPath: ") + info.szTagPath);
  TraceLog(std::wstring(L"WIN7_OPERAT_INFO:szTmpPath: ") + info.szTmpPath);
  TraceLog(L"WIN7_OPERAT_INFO:bIs64bitDVD: " + std::to_wstring(info.bIs64bitDVD ? 1 : 0));
  TraceLog(L"WIN7_OPERAT_INFO:m_DlgType: " + std::to_wstring(mode));
  // Which of this computer's USB controllers the run's packages drive.
  drivers::TraceDriverCoverage(info.bIs64bitDVD);
}
