#include "tools/cli/headlessjob.h"
#include "tools/cli/signaturetext.h"

#include <algorithm>
#include <cctype>
#include <atomic>
#include <chrono>
#include <filesystem>

#include "config/checkboxes.h"
#include "config/diskidentity.h"
#include "config/messageboxes.h"
#include "config/ovmultilangdll.h"
#include "disk/appfolders.h"
#include "disk/foldertree.h"
#include "disk/mediumutils.h"
#include "disk/sourcemedium.h"
#include "disk/usb/usbtarget.h"
#include "disk/workfolderclash.h"
#include "disk/tracelog.h"
#include "disk/usb/formatnote.h"
#include "disk/volumeutils.h"
#include "drivers/controllercoverage.h"
#include "drivers/nodriverstext.h"
#include "drivers/runosfolder.h"
#include "pipeline/opmessages.h"
#include "pipeline/toperationthd.h"
#include "platform/fs/files.h"
#include "platform/windows/messagequeuewindow.h"
#include "platform/windows/signalwatcher.h"
#include "platform/fs/paths.h"
#include "platform/fs/sysfolders.h"
#include "platform/text.h"
#include "platform/machine/volumes.h"
#include "tools/cli/consolerunview.h"
#include "tools/cli/failurereport.h"
#include "tools/cli/targetstate.h"
#include "tools/cli/sourceargument.h"
#include "tools/cli/usbtarget.h"

namespace {

constexpr int kExtraMb = 500;  // every target check asks for the source + 500 MiB
constexpr std::int64_t kBytesPerMb = 1048576;
constexpr int kLetters = 26;
// The message a Ctrl+C posts to the main window: handled there, like a click
// on Cancel.
constexpr platform::UINT WM_CLI_CANCEL = platform::WM_USER + 0x60;

std::wstring Root(wchar_t letter) { return std::wstring(1, letter) + L":\\"; }

// A folder given as a host path ("/srv/iso") reads as the system path of it.
std::wstring SystemFolder(const std::wstring& folder) {
  if (platform::DriveLetterOf(folder) != 0) return folder;
  std::error_code ec;
  const auto absolute = std::filesystem::absolute(platform::AnsiFromWide(folder), ec);
  return ec ? folder : platform::SystemPathFromHost(absolute.lexically_normal().string());
}

}  // namespace

HeadlessJob::HeadlessJob(const CliOptions& options, Console& console) : options_(options), console_(console) {}

bool HeadlessJob::CheckSource() {
  source_ = options_.source;
  if (!source_.empty()) {
    const SourceArgument named = ResolveSourceArgument(source_);
    if (named.root.empty()) {
      console_.Complain(Translate(L"Cli Bad Source") + L" " + platform::WideFromAnsi(named.error));
      return false;
    }
    if (named.addedImage)
      console_.Say(Translate(L"Cli Image Drive") + L" " + named.root.substr(0, 2) + L" = " + source_);
    source_ = named.root;
  }
  if (source_.empty()) {
    // The first optical drive, as the source page chooses it.
    const platform::DWORD mask = platform::GetLogicalDrives();
    for (int i = 0; i < kLetters && source_.empty(); ++i)
      if ((mask >> i & 1) && IsCdRom(Root(static_cast<wchar_t>(L'A' + i)))) source_ = Root(static_cast<wchar_t>(L'A' + i));
    if (source_.empty()) {
      console_.Complain(L"Please insert a DVD-ROM.");
      return false;
    }
  }
  if (!IsCdRom(source_)) {
    console_.Complain(Translate(L"Cli Not Optical") + L" " + source_);
    return false;
  }
  sizeMb_ = IsVolumeReady(source_) ? static_cast<int>(GetFolderSize(source_, true) / kBytesPerMb) : 0;
  const std::wstring label = GetVolumeLabel(source_);
  console_.Say(source_ + (label.empty() ? L"" : L" ( " + label + L" ) ") + L" " + Translate(L"Capacity") +
               std::to_wstring(sizeMb_) + L" MB");
  if (sizeMb_ == 0) {
    console_.Complain(Translate(L"Cli Source Empty") + L" " + source_);
    return false;
  }
  if (const auto problems = CheckWindows7Medium(source_); !problems.empty()) {
    console_.Complain(SourceMediumText(problems));
    return false;
  }
  // An Embedded edition forces compatibility mode, as the source page does.
  compatible_ = options_.compatible || IsEmbeddedEdition(source_);
  return true;
}

bool HeadlessJob::CheckTarget() {
  const int required = sizeMb_ + kExtraMb;
  if (options_.Mode() == 0) {
    std::wstring error;
    target_ = ResolveUsbTarget(options_.usbRoot, error);
    if (target_.empty()) {
      console_.Complain(error);
      return false;
    }
    // A blank or table-less stick has no partition to prepare: told before
    // the question, as a disk on another bus is.
    if (!IsUsbBusVolume(target_) || !IsUsbDiskPartition(target_)) {
      console_.Complain(L"This is not a USB disk/flash.");
      return false;
    }
    const std::int64_t total = IsVolumeReady(target_) ? static_cast<std::int64_t>(GetTotalSpaceMB(target_)) : 0;
    if (total < required) {
      console_.Complain(StickTooSmallText(total, required));
      return false;
    }
    const std::wstring entry = target_ + L" (" + Translate(L"Capacity") + L" " + std::to_wstring(total) + L" MB )";
    if (!AskFormatWarning(nullptr, FormatEntryWithMounts(entry, target_), DiskIdentityLine(target_))) {
      refusal_ = kExitCancelled;  // the user kept the disk: nothing was done
      return false;
    }
    return true;
  }
  target_ = SystemFolder(options_.isoFolder);
  if (!platform::IsDirectory(target_)) {
    console_.Complain(L"The ISO directory does not exist. " + target_);
    return false;
  }
  const std::wstring root = target_.substr(0, 3);
  if (!IsNtfs(root)) {
    console_.Complain(Translate(L"Not NTFS"));
    return false;
  }
  if (!(required < static_cast<int>(GetFreeSpaceMB(root)))) {
    console_.Complain(Translate(L"Disk too small"));
    return false;
  }
  if (IsoFolderClashesWithWorkFolder(target_, required)) {
    console_.Complain(Translate(L"ISO folder in work folder") + L" " + target_);
    return false;
  }
  if (target_.back() != L'\\') target_ += L'\\';  // as the folder picker gives it
  return true;
}

int HeadlessJob::Run() {
  if (!CheckSource() || !CheckDrivers() || !CheckTarget()) return refusal_;
  const int mode = options_.Mode();
  workFolder_ = GetWorkFolder(sizeMb_ + kExtraMb, target_);
  if (workFolder_.empty()) {
    const int needed = (sizeMb_ + kExtraMb) * (mode == 1 ? 2 : 1);
    console_.Complain(SpaceWarningText(needed));
    return kExitFailure;
  }
  // The product is checked by the worker, before the work folder goes: an
  // ISO's serviced WIMs are compared with it.
  int code = RunWorker();
  // The window's clean-up at the end of every run.
  if (!DeleteFolderTree(workFolder_)) DeleteFolderContents(workFolder_);
  if (code == kExitSuccess && mode == 1) SayNewIsoFiles();
  if (code != kExitSuccess) SayTargetState();
  std::string logHost;
  platform::ResolvePath(TraceLogPath(), logHost);
  console_.Say(Translate(L"Cli Trace Log") + L" " + TraceLogPath() + L"  (" + platform::WideFromAnsi(logHost) + L")");
  return code;
}

bool HeadlessJob::CheckDrivers() {
  // Media without a driver for the source's architecture cannot do what
  // they are made for: no run starts.
  const bool is64 = IsAmd64Build(source_.substr(0, 1) + L":\\sources\\idwbinfo.txt");
  if (drivers::LibraryServes(is64)) return true;
  console_.Complain(NoDriversText(is64));
  return false;
}

int HeadlessJob::RunWorker() {
  const int mode = options_.Mode();
  std::wstring why;
  runOsFolder_ = drivers::PrepareRunOsFolder(IsAmd64Build(source_.substr(0, 1) + L":\\sources\\idwbinfo.txt"), why);
  if (runOsFolder_.empty()) {
    console_.Complain(Translate(L"Drivers Run Folder Failed") + L" " + why);
    return kExitFailure;
  }
  for (const auto& record : drivers::PackagesWithFindings(IsAmd64Build(source_.substr(0, 1) + L":\\sources\\idwbinfo.txt")))
    console_.Complain(Translate(L"Drivers Run Unsigned") + L" " + platform::WideFromAnsi(record.name) + L" (" +
                      SignatureStateText(record) + L")");
  WIN7_OPERAT_INFO info{};
  SetInfoField(info.szSourcePath, source_);
  SetInfoField(info.szDriverPath, platform::WideFromAnsi(GetAppDataFolder()) + L"U3");
  SetInfoField(info.szImgDriverPath, runOsFolder_);
  SetInfoField(info.szTagPath, mode == 0 ? target_.substr(0, 3) : target_);
  SetInfoField(info.szTmpPath, workFolder_);
  info.bIs64bitDVD = IsAmd64Build(source_.substr(0, 1) + L":\\sources\\idwbinfo.txt");
  TraceLog(L"WIN7_OPERAT_INFO:szSourcePath: " + std::wstring(info.szSourcePath));
  TraceLog(L"WIN7_OPERAT_INFO:szDriverPath: " + std::wstring(info.szDriverPath));
  TraceLog(L"WIN7_OPERAT_INFO:szImgDriverPath: " + std::wstring(info.szImgDriverPath));
  TraceLog(L"WIN7_OPERAT_INFO:szTagPath: " + std::wstring(info.szTagPath));
  TraceLog(L"WIN7_OPERAT_INFO:szTmpPath: " + std::wstring(info.szTmpPath));
  TraceLog(L"WIN7_OPERAT_INFO:bIs64bitDVD: " + std::to_wstring(info.bIs64bitDVD ? 1 : 0));
  TraceLog(L"WIN7_OPERAT_INFO:m_DlgType: " + std::to_wstring(mode));
  drivers::TraceDriverCoverage(info.bIs64bitDVD);

  check_ = std::make_unique<ProductCheck>(info, mode, compatible_);
  ConsoleRunView view(console_, mode);
  std::unique_ptr<TOperationThd> worker;
  bool cancelAsked = false;
  platform::MessageQueueWindow window([&](platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam) {
    if (message == WM_OPSTATE) view.OnOpState(static_cast<int>(wParam), lParam);
    else if (message == WM_OPIMAGES) view.OnOpImages(lParam);
    else if (message == WM_CLI_CANCEL && worker && !cancelAsked) {
      cancelAsked = true;
      console_.Say(Translate(L"CancelStatus"));
      worker->Cancel();
    }
    return platform::LRESULT{0};
  });
  platform::SetMainThread(&window);
  {
    // The cancel is posted before a waiting question is ended: the window
    // cancels the run before it takes the worker's result after that "no".
    platform::SignalWatcher signals([this, &window](int) {
      window.Post(WM_CLI_CANCEL, 0, 0);
      console_.Interrupt();
    });
    worker = std::make_unique<TOperationThd>(true, compatible_, &info, mode, &window, &view);
    if (options_.verify) worker->SetProductCheck([this](const TOperationThd::StatusLine&, const std::atomic<bool>& cancel) {
      return CheckProduct(cancel);
    });
    worker->Resume();
    while (!view.Result()) window.PumpUntil([&] { return view.Result().has_value(); }, std::chrono::hours(1));
    worker.reset();
  }
  platform::SetMainThread(nullptr);
  window.PumpPending();
  statesSeen_ = view.StatesSeen();
  switch (*view.Result()) {
    case kRunSucceeded: return kExitSuccess;
    case kRunCancelled: return kExitCancelled;
    default: {
      std::string logHost;
      platform::ResolvePath(TraceLogPath(), logHost);
      ReportFailedStep(console_, view.StepStatus(), logHost);
      return kExitFailure;
    }
  }
}

bool HeadlessJob::CheckProduct(const std::atomic<bool>& cancel) {
  const ProductCheck::Outcome outcome = check_->Run([this](const std::wstring& line) { console_.Say(line); }, cancel);
  checkCancelled_ = outcome == ProductCheck::Outcome::Cancelled;
  if (outcome == ProductCheck::Outcome::Passed) console_.Say(check_->Line());
  if (outcome == ProductCheck::Outcome::Failed) console_.Complain(check_->Line());
  return outcome == ProductCheck::Outcome::Passed;
}

void HeadlessJob::SayNewIsoFiles() {
  for (const std::string& name : check_->NewIsoFiles())
    console_.Say(Translate(L"Cli Iso File") + L" " + target_ + platform::WideFromAnsi(name) + L"  (" +
                 platform::WideFromAnsi((std::filesystem::path(check_->IsoFolderHost()) / name).string()) + L")");
}

void HeadlessJob::SayTargetState() {
  if (!check_) return;
  const std::wstring key = TargetStateKey(options_.Mode(), statesSeen_, !check_->NewIsoFiles().empty(), checkCancelled_);
  console_.Complain(Translate(key) + L" " + target_);
}
