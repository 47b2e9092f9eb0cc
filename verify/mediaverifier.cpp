#include "verify/mediaverifier.h"

#include <wimlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/fs/filereader.h"
#include "platform/fs/files.h"
#include "platform/text.h"
#include "platform/fs/uncachedfile.h"

namespace verify {

namespace {

// The source's side of a comparison: a host file or a file by system path.
class SourceFile {
 public:
  bool Open(const PlannedFile& file) {
    if (file.system.empty()) {
      host_.open(file.host, std::ios::binary);
      return static_cast<bool>(host_);
    }
    system_ = true;
    return reader_.Open(file.system);
  }
  // Up to n bytes; fewer only at the end or on failure.
  std::size_t Read(char* buffer, std::size_t n) {
    if (!system_) {
      host_.read(buffer, static_cast<std::streamsize>(n));
      return static_cast<std::size_t>(host_.gcount());
    }
    std::size_t have = 0;
    while (have < n) {
      const std::int64_t got = reader_.Read(buffer + have, n - have);
      if (got <= 0) break;
      have += static_cast<std::size_t>(got);
    }
    return have;
  }
  bool AtEnd() {
    if (!system_) return host_.peek() == std::char_traits<char>::eof();
    char probe;
    return reader_.Read(&probe, 1) == 0;
  }

 private:
  bool system_ = false;
  std::ifstream host_;
  platform::FileReader reader_;
};

std::uint64_t FileSize(const PlannedFile& file) {
  if (!file.system.empty()) {
    std::uint64_t size = 0;
    return platform::GetFileSize(file.system, size) ? size : 0;
  }
  std::error_code ec;
  const auto size = std::filesystem::file_size(file.host, ec);
  return ec ? 0 : static_cast<std::uint64_t>(size);
}

std::uint64_t FileSize(const std::string& host) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(host, ec);
  return ec ? 0 : static_cast<std::uint64_t>(size);
}

// Compares the product's file with a host file; fills report on a fault.
bool CompareFile(ProductTree& product, const std::string& relPath, const PlannedFile& planned,
                 VerifyReport& report, const std::atomic<bool>* stop) {
  SourceFile source;
  if (!source.Open(planned)) {
    report = {VerifyResult::SourceUnreadable, relPath, 0,
              planned.system.empty() ? planned.host : platform::AnsiFromWide(planned.system)};
    return false;
  }
  std::vector<char> expected;
  std::uint64_t offset = 0;
  bool differs = false;
  bool stopped = false;
  const ReadStatus status = product.ReadFile(relPath, [&](const unsigned char* data, std::size_t length) {
    if (stop && *stop) {
      stopped = true;
      return false;
    }
    expected.resize(length);
    const std::size_t got = source.Read(expected.data(), length);
    for (std::size_t i = 0; i < length; ++i) {
      if (i >= got || data[i] != static_cast<unsigned char>(expected[i])) {
        offset += i;
        differs = true;
        return false;
      }
    }
    offset += length;
    return true;
  });
  if (stopped || (stop && *stop)) {
    report = {VerifyResult::Cancelled, relPath};
    return false;
  }
  if (status == ReadStatus::Missing) {
    report = {VerifyResult::FileMissing, relPath};
    return false;
  }
  // A product file that cannot be read lost its data just as one that reads
  // back wrong did.
  if (status == ReadStatus::Failed) differs = true;
  // The product's copy ended early.
  if (!differs && !source.AtEnd()) differs = true;
  if (differs) {
    report = {VerifyResult::FileDiffers, relPath, offset};
    return false;
  }
  return true;
}

}  // namespace

std::string VerifyWimFile(const std::string& hostPath) {
  platform::DropCachedPages(hostPath);
  WIMStruct* wim = nullptr;
  int code = wimlib_open_wim(hostPath.c_str(), WIMLIB_OPEN_FLAG_CHECK_INTEGRITY, &wim);
  if (code == 0) {
    code = wimlib_verify_wim(wim, 0);
    wimlib_free(wim);
  }
  return code == 0 ? std::string() : std::string(wimlib_get_error_string(static_cast<wimlib_error_code>(code)));
}

VerifyReport VerifyProduct(const VerifyPlan& plan, ProductTree& product,
                           const std::function<std::string(const std::string&)>& hostPathOf, int bootEntries,
                           const VerifyProgress& progress, const std::atomic<bool>* stop) {
  VerifyReport report;
  for (const std::string& boot : plan.bootFiles) {
    if (!product.HasFile(boot)) {
      report = {VerifyResult::BootFileMissing, boot};
      return report;
    }
  }
  if (bootEntries < plan.bootEntries) {
    report = {VerifyResult::BootFileMissing, "El Torito boot catalog"};
    return report;
  }
  std::uint64_t total = 0;
  for (const auto& [key, file] : plan.files) total += FileSize(file);
  for (const ServicedWim& wim : plan.wims) total += FileSize(wim.referenceHost);

  for (const auto& [key, file] : plan.files) {
    if (!CompareFile(product, file.name, file, report, stop)) return report;
    ++report.filesChecked;
    report.bytesChecked += FileSize(file);
    if (progress) progress(report.bytesChecked, total);
  }
  for (const ServicedWim& wim : plan.wims) {
    std::string wimHost = wim.referenceHost;
    if (!wimHost.empty()) {
      if (!CompareFile(product, wim.relPath, PlannedFile{wim.relPath, wimHost, {}}, report, stop)) return report;
      ++report.filesChecked;
      report.bytesChecked += FileSize(wimHost);
    } else {
      wimHost = hostPathOf ? hostPathOf(wim.relPath) : std::string();
      if (wimHost.empty()) {
        report = {VerifyResult::FileMissing, wim.relPath};
        return report;
      }
    }
    if (stop && *stop) {
      report = {VerifyResult::Cancelled, wim.relPath};
      return report;
    }
    const std::string problem = VerifyWimFile(wimHost);
    if (!problem.empty()) {
      report = {VerifyResult::WimDamaged, wim.relPath, 0, problem};
      return report;
    }
    if (progress) progress(report.bytesChecked, total);
  }
  return report;
}

const wchar_t* VerifyMessageKey(VerifyResult result) {
  switch (result) {
    case VerifyResult::Ok: return L"Verify Passed";
    case VerifyResult::ProductUnreadable: return L"Verify Unreadable";
    case VerifyResult::SourceUnreadable: return L"Verify Source Unreadable";
    case VerifyResult::FileMissing: return L"Verify Missing";
    case VerifyResult::FileDiffers: return L"Verify Differs";
    case VerifyResult::WimDamaged: return L"Verify Wim Damaged";
    case VerifyResult::BootFileMissing: return L"Verify Boot Missing";
    case VerifyResult::Cancelled: return L"CancelStatus";
  }
  return L"Verify Unreadable";
}

}  // namespace verify
