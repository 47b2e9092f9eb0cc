// Committing a mount: what the mount folder holds beyond the last commit
// goes into the image with wimlib's update call, and the WIM is written in
// place (appended to), so nothing else in it is rewritten.

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <set>

#include "platform/dism/mountedimage.h"
#include "platform/dism/openwims.h"
#include "platform/dism/wimfile.h"

namespace platform::dism {

namespace fs = std::filesystem;

namespace {

constexpr UINT kPercent = 100;
// Shares of a commit's progress: the update, then the data, then metadata.
constexpr UINT kUpdateShare = 30;
constexpr UINT kDataShare = 65;

std::wstring Quote(const std::wstring& path) { return L"'" + path + L"'"; }

// A path relative to the mount folder, in the image's own path syntax.
std::string WimPathOf(const std::string& relative) { return "/" + relative; }

void Notify(const PercentSink& progress, UINT current) {
  if (progress) progress(current, kPercent);
}

// Every mount of that WIM takes the file's present size and time.
void RestampRecordsOf(const std::string& wimHost) {
  std::uint64_t size = 0;
  std::int64_t time = 0;
  if (!FileStamp(wimHost, size, time)) return;
  // The commit itself is done; a stamp that could not be written is found
  // stale by the next check of the record.
  static_cast<void>(MountRegistry::Update([&](std::vector<MountRecord>& records) {
    for (auto& r : records)
      if (r.wimHost == wimHost) r.wimSize = size, r.wimTime = time;
  }));
}

}  // namespace

HRESULT CommitMount(const MountRecord& record, const PercentSink& progress, std::wstring& message) {
  if (StatusOf(record) != DismMountStatusOk) {
    message = L"The mount of " + Quote(record.wimPath) + L" in " + Quote(record.mountPath) +
              L" is no longer valid: the folder or the image file has gone or changed.";
    return DISMAPI_E_UNABLE_TO_UNMOUNT_IMAGE_PATH;
  }
  Notify(progress, 0);
  Manifest committed = MountRegistry::LoadManifest(record.id);
  Manifest present;
  std::vector<std::string> changed;
  std::error_code ec;
  const fs::path root(record.mountHost);
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    std::error_code kind;
    if (!it->is_regular_file(kind)) continue;
    std::string relative = it->path().lexically_relative(root).generic_string();
    CommittedFile stamp;
    std::uint64_t size = 0;
    std::int64_t time = 0;
    if (!FileStamp(it->path().string(), size, time)) continue;
    stamp = {size, time};
    present[relative] = stamp;
    auto known = committed.find(relative);
    if (known == committed.end() || known->second.size != size || known->second.time != time)
      changed.push_back(relative);
  }
  if (changed.empty()) {
    Notify(progress, kPercent);
    return S_OK;
  }

  WimFile* opened = nullptr;
  errno = 0;
  if (int rc = OpenWimFor(record, true, opened))
    return WimFailure(rc, errno, L"The image file " + Quote(record.wimPath) + L" cannot be opened for writing",
                      message);
  WimFile& wim = *opened;
  // A folder the image does not have yet is added whole; inside folders it
  // has, each changed file is added on its own.
  const int image = static_cast<int>(record.index);
  std::vector<WimAdd> adds;
  std::set<std::string> addedFolders;
  for (const auto& relative : changed) {
    std::string covered;
    for (const auto& folder : addedFolders)
      if (relative.rfind(folder + "/", 0) == 0) covered = folder;
    if (!covered.empty()) continue;
    std::string path;
    std::string add = relative;
    size_t start = 0;
    for (;;) {
      size_t slash = relative.find('/', start);
      if (slash == std::string::npos) break;
      path = relative.substr(0, slash);
      bool exists = false;
      if (int rc = wim.Exists(image, WimPathOf(path), exists))
        return WimFailure(rc, errno, L"Image " + std::to_wstring(image) + L" of " + Quote(record.wimPath) +
                                         L" cannot be read", message);
      if (!exists) {
        add = path;
        addedFolders.insert(path);
        break;
      }
      start = slash + 1;
    }
    adds.push_back({(root / add).string(), WimPathOf(add)});
  }

  auto bridge = [&](WimPhase phase, std::uint64_t done, std::uint64_t total) {
    if (!progress || total == 0) return;
    UINT share = phase == WimPhase::Update      ? kUpdateShare * done / total
                 : phase == WimPhase::WriteData ? kUpdateShare + static_cast<UINT>(kDataShare * done / total)
                                                : kUpdateShare + kDataShare;
    progress(std::min(share, kPercent - 1), kPercent);
  };
  errno = 0;
  int written = wim.AddAndOverwrite(image, adds, bridge);
  const int writeErrno = errno;
  // A written (or half-written) WIM is opened afresh when it is needed again.
  ForgetWim(record.id);
  if (written) {
    HRESULT hr = WimFailure(written, writeErrno, L"The changes to image " + std::to_wstring(image) + L" of " +
                                                     Quote(record.wimPath) + L" cannot be written", message);
    // wimlib cuts a failed append off again, so the file normally still
    // holds the image as it was. Then the mount stays usable: its files
    // are still to be committed (the manifest is unchanged), and the
    // records take the file's new stamp so that the next commit or
    // unmount does not mistake our own failed write for someone else's.
    WimFile check;
    if (check.Open(record.wimHost, false) == 0 && check.ImageCount() >= image) {
      RestampRecordsOf(record.wimHost);
      message += L". The image file is intact and the mount is kept: free space (or remove the cause) and commit "
                 L"again, or unmount discarding the changes.";
    } else {
      message += L". The image file may be damaged; the mount can only be discarded.";
    }
    return hr;
  }

  // Without a manifest the next commit writes every file again.
  static_cast<void>(MountRegistry::SaveManifest(record.id, present));
  RestampRecordsOf(record.wimHost);
  Notify(progress, kPercent);
  return S_OK;
}

}  // namespace platform::dism
