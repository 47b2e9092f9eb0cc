#include "tools/cli/productcheck.h"

#include <chrono>
#include <filesystem>
#include <fstream>

#include "config/ovmultilangdll.h"
#include "disk/tracelog.h"
#include "platform/disks/volumemount.h"
#include "platform/disks/volumerecord.h"
#include "platform/text.h"
#include "verify/uncachedfile.h"
#include "verify/folderproduct.h"
#include "verify/isoproduct.h"
#include "verify/mediaverifier.h"

namespace {

constexpr std::uint64_t kBytesPerMb = 1048576;

std::wstring Wide(const std::string& text) { return platform::WideFromAnsi(text); }

// "sources/boot.wim" as the system names it inside the product.
std::wstring SystemRelative(const std::string& rel) {
  std::wstring text = Wide(rel);
  for (wchar_t& c : text)
    if (c == L'/') c = L'\\';
  return text;
}

// A stick's volume is read through its file-system daemon from a loop
// device: its buffers, and the cached pages of a virtual disk's image file
// behind it, go first, so what is read back comes from the medium.
void DropStickCaches(const std::string& loop) {
  if (loop.empty()) return;
  verify::DropCachedPages(loop);
  std::ifstream backing("/sys/block/" + std::filesystem::path(loop).filename().string() + "/loop/backing_file");
  std::string image;
  if (std::getline(backing, image) && !image.empty()) verify::DropCachedPages(image);
}

// The job writes the stick out and releases it before it reports, so the
// check mounts it afresh (a new loop device and file-system daemon, nothing
// of the job's caches) and releases it again at the end.
class StickMount {
 public:
  explicit StickMount(wchar_t letter) {
    for (const platform::disks::VolumeEntry& entry : platform::disks::ReadVolumeRecord()) {
      if (entry.letter != letter) continue;
      if (!entry.folder.empty()) {
        folder_ = entry.folder;  // still mounted: read it where it is
        loop_ = entry.loop;
        return;
      }
      entry_ = entry;
      if (platform::disks::MountPartition(entry.disk, entry.partition, entry.fileSystem, &entry_.folder,
                                          &entry_.loop, &error_)) {
        folder_ = entry_.folder;
        loop_ = entry_.loop;
      } else {
        entry_.folder.clear();
      }
      return;
    }
    error_ = "no recorded volume for the drive";
  }
  ~StickMount() {
    std::string ignored;
    if (!entry_.folder.empty()) platform::disks::UnmountVolume(entry_, &ignored);
  }
  StickMount(const StickMount&) = delete;
  StickMount& operator=(const StickMount&) = delete;

  const std::string& Folder() const { return folder_; }
  const std::string& Loop() const { return loop_; }
  const std::string& Error() const { return error_; }

 private:
  platform::disks::VolumeEntry entry_;
  std::string folder_;
  std::string loop_;
  std::string error_;
};

}  // namespace

bool CheckProduct(const ProductCheckInput& input, Console& console) {
  console.Say(Translate(L"Verify Start"));
  TraceLog(L"[CheckProduct] begin " + (input.run.mode == 1 ? Wide(input.product) : std::wstring(1, input.letter) + L":"));
  const auto start = std::chrono::steady_clock::now();
  verify::VerifyPlan plan;
  std::string error;
  verify::VerifyReport report;
  if (!verify::PlanForRun(input.run, plan, error)) {
    report = {verify::VerifyResult::SourceUnreadable, "", 0, error};
  } else if (input.run.mode == 1) {
    verify::IsoProduct iso;
    if (!iso.Open(input.product, error)) report = {verify::VerifyResult::ProductUnreadable, "", 0, error};
    else report = verify::VerifyProduct(plan, iso, {}, iso.BootEntries());
  } else {
    StickMount mount(input.letter);
    if (mount.Folder().empty()) {
      report = {verify::VerifyResult::ProductUnreadable, "", 0, mount.Error()};
    } else {
      TraceLog(L"[CheckProduct] stick mounted at " + Wide(mount.Folder()));
      DropStickCaches(mount.Loop());
      verify::FolderProduct stick(mount.Folder());
      report = verify::VerifyProduct(
          plan, stick, [&stick](const std::string& rel) { return stick.HostPath(rel); }, 0);
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (report.result == verify::VerifyResult::Ok) {
    console.Say(Translate(L"Verify Passed") + L" " + std::to_wstring(report.filesChecked) + L" / " +
                std::to_wstring(report.bytesChecked / kBytesPerMb) + L" MB");
    TraceLog(L"[CheckProduct] end(TRUE) files " + std::to_wstring(report.filesChecked) + L" seconds " +
             std::to_wstring(static_cast<int>(seconds)));
    return true;
  }
  std::wstring line = Translate(verify::VerifyMessageKey(report.result));
  if (!report.file.empty()) line += L" " + SystemRelative(report.file);
  if (report.result == verify::VerifyResult::FileDiffers)
    line += L" (" + Translate(L"Verify Offset") + L" " + std::to_wstring(report.offset) + L")";
  if (!report.detail.empty()) line += L" - " + Wide(report.detail);
  console.Complain(line);
  TraceLog(L"[CheckProduct] end(FALSE) " + line);
  return false;
}
