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
#include "disk/foldertree.h"
#include "disk/mediumutils.h"
#include "disk/sourcemedium.h"
#include "disk/tracelog.h"
#include "disk/usb/formatnote.h"
#include "disk/volumeutils.h"
#include "drivers/nodriverstext.h"
#include "drivers/runosfolder.h"
#include "pipeline/compatibilitychoice.h"
#include "pipeline/jobchecks.h"
#include "pipeline/opmessages.h"
#include "pipeline/runsetup.h"
#include "pipeline/steplists.h"
#include "pipeline/toperationthd.h"
#include "platform/fs/files.h"
#include "platform/windows/messagequeuewindow.h"
#include "platform/windows/signalwatcher.h"
#include "platform/fs/paths.h"
#include "platform/text.h"
#include "tools/cli/consolerunview.h"
#include "tools/cli/failurereport.h"
#include "pipeline/targetstate.h"
#include "tools/cli/hostpathtext.h"
#include "tools/cli/sourceargument.h"
#include "tools/cli/usbtarget.h"

namespace {

// The message a Ctrl+C posts to the main window: handled there, like a click
// on Cancel.
constexpr platform::UINT WM_CLI_CANCEL = platform::WM_USER + 0x60;

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
      console_.Complain(Translate(L"Cli Bad Source") + L" " + platform::PrintableText(platform::WideFromAnsi(named.error)));
      return false;
    }
    if (named.addedImage)
      console_.Say(Translate(L"Cli Image Drive") + L" " + named.root.substr(0, 2) + L" = " + source_);
    source_ = named.root;
  }
  if (source_.empty()) {
    // The first optical drive, as the source page chooses it.
    const std::vector<std::wstring> optical = OpticalDriveRoots();
    if (optical.empty()) {
      console_.Complain(L"Please insert a DVD-ROM.");
      return false;
    }
    source_ = optical.front();
  }
  if (!IsCdRom(source_)) {
    console_.Complain(Translate(L"Cli Not Optical") + L" " + HostPathText(source_));
    return false;
  }
  sizeMb_ = SourceSizeMB(source_);
  const std::wstring label = GetVolumeLabel(source_);
  console_.Say(HostPathText(source_) + (label.empty() ? L"" : L" ( " + label + L" ) ") + L" " + Translate(L"Capacity") +
               std::to_wstring(sizeMb_) + L" MB");
  if (sizeMb_ == 0) {
    console_.Complain(Translate(L"Cli Source Empty") + L" " + HostPathText(source_));
    return false;
  }
  if (const auto problems = CheckWindows7Medium(source_); !problems.empty()) {
    console_.Complain(SourceMediumText(problems));
    return false;
  }
  // An Embedded edition or storage drivers in the library force
  // compatibility mode, as the source page does.
  compatible_ = options_.compatible || CompatibilityForced(source_);
  return true;
}

bool HeadlessJob::CheckTarget() {
  if (options_.Mode() == kModeUsb) {
    std::wstring error;
    target_ = ResolveUsbTarget(options_.usbRoot, error);
    if (target_.empty()) {
      console_.Complain(error);
      return false;
    }
    // A blank or table-less stick has no partition to prepare: told before
    // the question, as a disk on another bus is.
    if (!IsUsbStickPartition(target_)) {
      console_.Complain(L"This is not a USB disk/flash.");
      return false;
    }
    // No computer starts Windows 7 from a disk of larger sectors: told
    // before the question, nothing erased.
    if (!StickSectorsStartWindows(target_)) {
      console_.Complain(StickSectorsText(StickSectorBytes(target_)));
      return false;
    }
    // Held by the system or the kernel: told before the question.
    if (const std::wstring why = StickRefusal(target_); !why.empty()) {
      console_.Complain(StickInUseText(why));
      return false;
    }
    const std::int64_t total = StickCapacityMB(target_);
    if (!StickBigEnough(total, sizeMb_)) {
      console_.Complain(StickTooSmallText(total, RequiredMB(sizeMb_)));
      return false;
    }
    const std::wstring entry =
        HostPathText(target_) + L" (" + Translate(L"Capacity") + L" " + std::to_wstring(total) + L" MB )";
    if (!AskFormatWarning(nullptr, FormatEntryWithMounts(entry, target_), DiskIdentityLine(target_))) {
      // No, Enter or Ctrl+C: the user kept the disk, and is told so.
      console_.Say(Translate(L"Cli Nothing Changed"));
      refusal_ = kExitCancelled;
      return false;
    }
    return true;
  }
  target_ = SystemFolder(options_.isoFolder);
  if (!platform::IsDirectory(target_)) {
    console_.Complain(L"The ISO directory does not exist. " + HostPathText(target_));
    return false;
  }
  if (const IsoFolderVerdict verdict = CheckIsoFolder(target_, sizeMb_); verdict != IsoFolderVerdict::Accepted) {
    // The clash names the folder: on a terminal there is no field showing it.
    const bool named = verdict == IsoFolderVerdict::InsideWorkFolder;
    console_.Complain(Translate(IsoFolderKey(verdict)) + (named ? L" " + HostPathText(target_) : L""));
    return false;
  }
  if (target_.back() != L'\\') target_ += L'\\';  // as the folder picker gives it
  return true;
}

int HeadlessJob::Run() {
  if (!CheckSource() || !CheckDrivers() || !CheckTarget()) return refusal_;
  const int mode = options_.Mode();
  RunSetup setup = PrepareRun(source_, target_, mode, sizeMb_);
  if (setup.result == RunSetupResult::NoWorkFolder || setup.result == RunSetupResult::IsoFolderNotWritable) {
    EndRunFolders(setup);
    if (setup.result == RunSetupResult::NoWorkFolder) console_.Complain(SpaceWarningText(SpaceNeededMB(sizeMb_, mode)));
    else console_.Complain(Translate(L"ISO Folder Not Writable") + L" " + setup.why);
    return kExitFailure;
  }
  // The product is checked by the worker, before the work folder goes: an
  // ISO's serviced WIMs are compared with it.
  int code = kExitFailure;
  if (setup.result == RunSetupResult::NoRunOsFolder) {
    console_.Complain(Translate(L"Drivers Run Folder Failed") + L" " + setup.why);
  } else {
    // A package taken with --unsigned is named on every run that uses it.
    for (const auto& record : drivers::PackagesWithFindings(setup.info.bIs64bitDVD))
      console_.Complain(Translate(L"Drivers Run Unsigned") + L" " + platform::PrintableText(platform::WideFromAnsi(record.name)) + L" (" +
                        SignatureStateText(record) + L")");
    WriteRunStart(setup.info, mode);
    code = RunWorker(setup.info);
  }
  // The window's clean-up at the end of every run.
  EndRunFolders(setup);
  if (code == kExitSuccess && mode == 1) SayNewIsoFiles();
  if (code != kExitSuccess) SayTargetState();
  // The trace log by its host path: the file a user opens.
  std::string logHost;
  const bool hostKnown = platform::ResolvePath(TraceLogPath(), logHost) && !logHost.empty();
  console_.Say(Translate(L"Cli Trace Log") + L" " + (hostKnown ? platform::WideFromAnsi(logHost) : TraceLogPath()));
  return code;
}

bool HeadlessJob::CheckDrivers() {
  // Media without a driver for the source's architecture cannot do what
  // they are made for: no run starts.
  const std::vector<std::wstring> gaps = DriverGapLines(SourceIs64Bit(source_));
  for (const std::wstring& line : gaps) console_.Complain(line);
  return gaps.empty();
}

int HeadlessJob::RunWorker(WIN7_OPERAT_INFO& info) {
  const int mode = options_.Mode();
  check_ = std::make_unique<ProductCheck>(info, mode);
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
      static_cast<void>(platform::ResolvePath(TraceLogPath(), logHost));  // empty: not named
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
    console_.Say(Translate(L"Cli Iso File") + L" " + HostPathText(target_ + platform::WideFromAnsi(name)));
}

void HeadlessJob::SayTargetState() {
  if (!check_) return;
  const std::wstring key = TargetStateKey(options_.Mode(), statesSeen_, !check_->NewIsoFiles().empty(), checkCancelled_);
  console_.Complain(Translate(key) + L" " + HostPathText(target_));
}
