// Services images of a WIM through the platform's servicing interface, the
// way the driver-injection step does: per image mount read-write, add every
// driver .INF below a folder, commit, close the session, unmount saving the
// changes. Prints the seconds each image took and the total.
//
// usage: dism_bench WIM DRIVERS MOUNTFOLDER IMAGES [STASH]
//   host paths; with STASH, the mount folder's additions of each image are
//   copied to STASH/<index>/ before the commit (the peer adds the same files).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/dism/dismapi.h"
#include "platform/fs/paths.h"
#include "platform/text.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

std::wstring System(const fs::path& host) { return SystemPathFromHost(fs::absolute(host).string()); }

bool Check(HRESULT hr, const char* what) {
  if (!Failed(hr)) return true;
  DismString* text = nullptr;
  static_cast<void>(DismGetLastErrorMessage(&text));  // no text: the number alone
  std::fprintf(stderr, "%s failed 0x%08x: %s\n", what, static_cast<unsigned>(hr),
               text ? AnsiFromWide(text->Value).c_str() : "");
  if (text) DismDelete(text);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: dism_bench WIM DRIVERS MOUNTFOLDER IMAGES [STASH]\n");
    return 2;
  }
  const fs::path wim = argv[1], drivers = argv[2], mount = argv[3];
  const int images = std::stoi(argv[4]);
  const fs::path stash = argc > 5 ? fs::path(argv[5]) : fs::path();

  std::vector<fs::path> infs;
  for (const auto& e : fs::recursive_directory_iterator(drivers)) {
    std::string ext = e.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    if (e.is_regular_file() && ext == ".inf") infs.push_back(e.path());
  }
  std::sort(infs.begin(), infs.end());

  if (!Check(DismInitialize(DismLogErrors, nullptr, nullptr), "DismInitialize")) return 1;
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  for (int index = 1; index <= images; ++index) {
    const auto t0 = Clock::now();
    fs::create_directories(mount);
    const std::wstring mountPath = System(mount);
    DismSession session = 0;
    if (!Check(DismMountImage(System(wim).c_str(), mountPath.c_str(), static_cast<UINT>(index), nullptr,
                              DismImageIndex, DISM_MOUNT_READWRITE, nullptr, nullptr, nullptr),
               "DismMountImage") ||
        !Check(DismOpenSession(mountPath.c_str(), nullptr, nullptr, &session), "DismOpenSession"))
      return 1;
    const auto mounted = Clock::now();
    for (const auto& inf : infs)
      if (!Check(DismAddDriver(session, System(inf).c_str(), 1), "DismAddDriver")) return 1;
    const auto added = Clock::now();
    if (!stash.empty()) {
      const auto copyStart = Clock::now();
      fs::create_directories(stash / std::to_string(index));
      fs::copy(mount, stash / std::to_string(index), fs::copy_options::recursive);
      // The stash is the peer's input, not part of our work.
      const auto spent = Clock::now() - copyStart;
      std::printf("stash %d %.3f\n", index, std::chrono::duration<double>(spent).count());
    }
    const auto beforeCommit = Clock::now();
    if (!Check(DismCommitImage(session, 0, nullptr, nullptr, nullptr), "DismCommitImage") ||
        !Check(DismCloseSession(session), "DismCloseSession") ||
        !Check(DismUnmountImage(mountPath.c_str(), DISM_COMMIT_IMAGE, nullptr, nullptr, nullptr), "DismUnmountImage"))
      return 1;
    auto secs = [](auto d) { return std::chrono::duration<double>(d).count(); };
    std::printf("image %d %.3f (mount %.3f, add %.3f, commit and unmount %.3f)\n", index, secs(Clock::now() - t0),
                secs(mounted - t0), secs(added - mounted), secs(Clock::now() - beforeCommit));
  }
  std::printf("total %.3f\n", std::chrono::duration<double>(Clock::now() - start).count());
  static_cast<void>(DismShutdown());  // the process ends next
  return 0;
}
