#include "tools/cli/headlessjob.h"

#include <algorithm>
#include <cctype>
#include <atomic>
#include <chrono>
#include <filesystem>

#include "config/diskidentity.h"
#include "config/messageboxes.h"
#include "config/ovmultilangdll.h"
#include "disk/appfolders.h"
#include "disk/foldertree.h"
#include "disk/mediumutils.h"
#include "disk/tracelog.h"
#include "disk/volumeutils.h"
#include "pipeline/opmessages.h"
#include "pipeline/toperationthd.h"
#include "platform/fs/files.h"
#include "platform/windows/messagequeuewindow.h"
#include "platform/fs/paths.h"
#include "platform/fs/sysfolders.h"
#include "platform/text.h"
#include "platform/machine/volumes.h"
#include "tools/cli/consolerunview.h"
#include "tools/cli/productcheck.h"
#include "tools/cli/signalwatcher.h"
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

std::vector<std::string> IsoFiles(const std::string& hostFolder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(hostFolder, ec)) {
    std::string ext = entry.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    if (ext == ".iso") files.push_back(entry.path().filename().string());
  }
  return files;
}

}  // namespace

HeadlessJob::HeadlessJob(const CliOptions& options, Console& console) : options_(options), console_(console) {}

bool HeadlessJob::CheckSource() {
  source_ = options_.source;
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
    if (!IsUsbBusVolume(target_)) {
      console_.Complain(L"This is not a USB disk/flash.");
      return false;
    }
    const std::int64_t total = IsVolumeReady(target_) ? static_cast<std::int64_t>(GetTotalSpaceMB(target_)) : 0;
    if (total < required) {
      console_.Complain(Translate(L"Disk too small"));
      return false;
    }
    const std::wstring entry = target_ + L" (" + Translate(L"Capacity") + L" " + std::to_wstring(total) + L" MB )";
    if (!AskFormatWarning(nullptr, entry, DiskIdentityLine(target_))) {
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
  if (target_.back() != L'\\') target_ += L'\\';  // as the folder picker gives it
  platform::ResolvePath(target_, isoFolderHost_);
  isoFilesBefore_ = IsoFiles(isoFolderHost_);
  return true;
}

int HeadlessJob::Run() {
  if (!CheckSource() || !CheckTarget()) return refusal_;
  const int mode = options_.Mode();
  workFolder_ = GetWorkFolder(sizeMb_ + kExtraMb, target_);
  if (workFolder_.empty()) {
    const int needed = (sizeMb_ + kExtraMb) * (mode == 1 ? 2 : 1);
    console_.Complain(SpaceWarningText(needed));
    return kExitFailure;
  }
  int code = RunWorker();
  // Before the work folder goes: an ISO's serviced WIMs are checked against it.
  if (code == kExitSuccess && options_.verify && !VerifyProduct()) code = kExitFailure;
  // The window's clean-up at the end of every run.
  if (!DeleteFolderTree(workFolder_)) DeleteFolderContents(workFolder_);
  if (code == kExitSuccess && mode == 1) SayNewIsoFiles();
  std::string logHost;
  platform::ResolvePath(TraceLogPath(), logHost);
  console_.Say(Translate(L"Cli Trace Log") + L" " + TraceLogPath() + L"  (" + platform::WideFromAnsi(logHost) + L")");
  return code;
}

int HeadlessJob::RunWorker() {
  const int mode = options_.Mode();
  WIN7_OPERAT_INFO info{};
  SetInfoField(info.szSourcePath, source_);
  SetInfoField(info.szDriverPath, platform::WideFromAnsi(GetAppDataFolder()) + L"U3");
  SetInfoField(info.szImgDriverPath, platform::GetProgramFolder() + L"OS");
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
    SignalWatcher signals([this, &window](int) {
      window.Post(WM_CLI_CANCEL, 0, 0);
      console_.Interrupt();
    });
    worker = std::make_unique<TOperationThd>(true, compatible_, &info, mode, &window, &view);
    worker->Resume();
    while (!view.Result()) window.PumpUntil([&] { return view.Result().has_value(); }, std::chrono::hours(1));
    worker.reset();
  }
  platform::SetMainThread(nullptr);
  window.PumpPending();
  switch (*view.Result()) {
    case kRunSucceeded: return kExitSuccess;
    case kRunCancelled: return kExitCancelled;
    default: return kExitFailure;
  }
}

std::vector<std::string> HeadlessJob::NewIsoFiles() const {
  std::vector<std::string> added;
  for (const std::string& name : IsoFiles(isoFolderHost_))
    if (std::find(isoFilesBefore_.begin(), isoFilesBefore_.end(), name) == isoFilesBefore_.end())
      added.push_back(name);
  return added;
}

bool HeadlessJob::VerifyProduct() {
  auto host = [](const std::wstring& path) {
    std::string resolved;
    return platform::ResolvePath(path, resolved) ? resolved : std::string();
  };
  const std::wstring program = platform::GetProgramFolder();
  ProductCheckInput input;
  input.run.mode = options_.Mode();
  input.run.compatible = compatible_;
  input.run.is64 = IsAmd64Build(source_.substr(0, 1) + L":\\sources\\idwbinfo.txt");
  input.run.source = host(source_);
  input.run.other = host(program + (input.run.is64 ? L"Other\\x64" : L"Other\\x86"));
  input.run.os = host(program + L"OS");
  input.run.efi = host(program + L"efi");
  input.run.work = host(workFolder_);
  if (input.run.mode == 1) {
    const std::vector<std::string> added = NewIsoFiles();
    if (added.size() != 1) {
      console_.Complain(Translate(L"Verify Unreadable"));
      return false;
    }
    input.product = (std::filesystem::path(isoFolderHost_) / added.front()).string();
  } else {
    input.letter = target_[0];
  }
  return CheckProduct(input, console_);
}

void HeadlessJob::SayNewIsoFiles() {
  for (const std::string& name : NewIsoFiles())
    console_.Say(Translate(L"Cli Iso File") + L" " + target_ + platform::WideFromAnsi(name) + L"  (" +
                   platform::WideFromAnsi((std::filesystem::path(isoFolderHost_) / name).string()) + L")");
}
