#include "verify/productcheck.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string_view>

#include "config/ovmultilangdll.h"
#include "disk/mediumutils.h"
#include "disk/tracelog.h"
#include "pipeline/steplists.h"
#include "platform/fs/paths.h"
#include "platform/fs/sysfolders.h"
#include "platform/lowercase.h"
#include "platform/text.h"
#include "verify/folderproduct.h"
#include "verify/isoproduct.h"
#include "verify/mediaverifier.h"
#include "verify/stickmount.h"
#include "platform/fs/uncachedfile.h"

namespace {

constexpr std::uint64_t kBytesPerMb = 1048576;
constexpr std::string_view kIsoEnding = ".iso";

std::wstring Wide(const std::string& text) { return platform::WideFromAnsi(text); }

std::string Host(const std::wstring& path) {
  std::string resolved;
  return platform::ResolvePath(path, resolved) ? resolved : std::string();
}

// "sources/boot.wim" as the system names it inside the product.
std::wstring SystemRelative(const std::string& rel) {
  std::wstring text = Wide(rel);
  for (wchar_t& c : text)
    if (c == L'/') c = L'\\';
  return text;
}

// The images in the ISO folder: names ending in ".iso" in any case, the
// image of a disc without a label (".iso", which has no extension as a path
// sees it) among them.
std::vector<std::string> IsoFiles(const std::string& hostFolder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(hostFolder, ec)) {
    const std::string name = entry.path().filename().string();
    // A disc without a label makes ".iso": no extension, as a path sees it.
    if (platform::LowerCase(name).ends_with(kIsoEnding)) files.push_back(name);
  }
  return files;
}

// The steps of the run as its list holds them now, up to the end mark.
std::vector<int> StepsTaken(int mode) {
  std::vector<int> steps;
  for (int step : StepList(mode)) {
    if (step == kEndMark) break;
    steps.push_back(step);
  }
  return steps;
}

}  // namespace

ProductCheck::ProductCheck(const WIN7_OPERAT_INFO& info, int mode) : mode_(mode) {
  const std::wstring source = info.szSourcePath;
  const std::wstring program = platform::GetProgramFolder();
  run_.is64 = info.bIs64bitDVD;
  // The source is read through the platform: a drive backed by an image
  // file has no host folder.
  run_.sourceRoot = source;
  run_.other = Host(program + (run_.is64 ? L"Other\\x64" : L"Other\\x86"));
  run_.os = Host(info.szImgDriverPath);  // the run's OS folder
  run_.efi = Host(program + L"efi");
  run_.work = Host(info.szTmpPath);
  if (mode == kModeIso) {
    isoFolderHost_ = Host(info.szTagPath);
    isoFilesBefore_ = IsoFiles(isoFolderHost_);
  } else {
    letter_ = info.szTagPath[0];
  }
}

std::vector<std::string> ProductCheck::NewIsoFiles() const {
  std::vector<std::string> added;
  for (const std::string& name : IsoFiles(isoFolderHost_))
    if (std::find(isoFilesBefore_.begin(), isoFilesBefore_.end(), name) == isoFilesBefore_.end())
      added.push_back(name);
  return added;
}

ProductCheck::Outcome ProductCheck::Run(const std::function<void(const std::wstring&)>& say,
                                        const std::atomic<bool>& cancel) {
  say(Translate(L"Verify Start"));
  const auto start = std::chrono::steady_clock::now();
  verify::VerifyPlan plan;
  std::string error;
  verify::VerifyReport report;
  // The chain may have substituted steps (for the rest of the process): the
  // plan follows the list the run took, not the settings it was asked with.
  run_.steps = StepsTaken(mode_);
  if (mode_ == kModeIso) {
    const std::vector<std::string> added = NewIsoFiles();
    const std::string product = added.size() == 1 ? (std::filesystem::path(isoFolderHost_) / added[0]).string() : "";
    TraceLog(L"[CheckProduct] begin " + Wide(product));
    verify::IsoProduct iso;
    if (product.empty()) report = {verify::VerifyResult::ProductUnreadable, "", 0, "no new image in the folder"};
    else if (!verify::PlanForRun(run_, plan, error)) report = {verify::VerifyResult::SourceUnreadable, "", 0, error};
    else if (!iso.Open(product, error)) report = {verify::VerifyResult::ProductUnreadable, "", 0, error};
    else report = verify::VerifyProduct(plan, iso, {}, iso.BootEntries(), {}, &cancel);
  } else {
    TraceLog(L"[CheckProduct] begin " + std::wstring(1, letter_) + L":");
    if (!verify::PlanForRun(run_, plan, error)) {
      report = {verify::VerifyResult::SourceUnreadable, "", 0, error};
    } else {
      verify::StickMount mount(letter_);
      if (mount.Folder().empty()) {
        report = {verify::VerifyResult::ProductUnreadable, "", 0, mount.Error()};
      } else {
        TraceLog(L"[CheckProduct] stick mounted at " + Wide(mount.Folder()));
        platform::DropLoopDeviceCaches(mount.Loop());
        verify::FolderProduct stick(mount.Folder());
        report = verify::VerifyProduct(
            plan, stick, [&stick](const std::string& rel) { return stick.HostPath(rel); }, 0, {}, &cancel);
      }
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (report.result == verify::VerifyResult::Cancelled) {
    line_ = Translate(L"CancelStatus");
    TraceLog(L"[CheckProduct] end(CANCEL)");
    return Outcome::Cancelled;
  }
  if (report.result == verify::VerifyResult::Ok) {
    line_ = Translate(L"Verify Passed") + L" " + std::to_wstring(report.filesChecked) + L" / " +
            std::to_wstring(report.bytesChecked / kBytesPerMb) + L" MB";
    TraceLog(L"[CheckProduct] end(TRUE) files " + std::to_wstring(report.filesChecked) + L" seconds " +
             std::to_wstring(static_cast<int>(seconds)));
    return Outcome::Passed;
  }
  line_ = Translate(verify::VerifyMessageKey(report.result));
  if (!report.file.empty()) line_ += L" " + SystemRelative(report.file);
  if (report.result == verify::VerifyResult::FileDiffers)
    line_ += L" (" + Translate(L"Verify Offset") + L" " + std::to_wstring(report.offset) + L")";
  if (!report.detail.empty()) line_ += L" - " + Wide(report.detail);
  TraceLog(L"[CheckProduct] end(FALSE) " + line_);
  return Outcome::Failed;
}
