#include "tools/cli/productcheck.h"

#include <chrono>
#include <filesystem>
#include <fstream>

#include "config/ovmultilangdll.h"
#include "disk/tracelog.h"
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
void DropStickCaches(wchar_t letter) {
  for (const platform::disks::VolumeEntry& entry : platform::disks::ReadVolumeRecord()) {
    if (entry.letter != letter || entry.loop.empty()) continue;
    verify::DropCachedPages(entry.loop);
    std::ifstream backing("/sys/block/" + std::filesystem::path(entry.loop).filename().string() +
                          "/loop/backing_file");
    std::string image;
    if (std::getline(backing, image) && !image.empty()) verify::DropCachedPages(image);
  }
}

}  // namespace

bool CheckProduct(const ProductCheckInput& input, Console& console) {
  console.Say(Translate(L"Verify Start"));
  TraceLog(L"[CheckProduct] begin " + Wide(input.product));
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
    DropStickCaches(input.letter);
    verify::FolderProduct stick(input.product);
    report = verify::VerifyProduct(
        plan, stick, [&stick](const std::string& rel) { return stick.HostPath(rel); }, 0);
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
