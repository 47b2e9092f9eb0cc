// Copying a medium out of an ISO file: the copy engine reading the image
// through our image drive against `7zz x` of the same image.
//
//   isosource_bench [--rounds N] [--large-mib M] [--small-files K] [--dir FOLDER]
//
// Generates a tree (2 x 400 MiB and 3,000 files of up to 256 KiB, about
// 1.2 GiB), makes an image of it with our oscdimg (UDF with its ISO 9660
// bridge, as Windows 7 media are), extracts it once with each to warm the
// page cache, then N rounds (default 3) with each, alternating which goes
// first. Each extraction runs as a child process after a sync, so its time
// includes a process start for both and its peak memory is its own. Prints
// the median ratio of our time to 7zz's (goal at most 1.0) and our peak
// memory (goal at most 64 MiB). Everything generated is removed at the end.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/copy/benchrun.h"
#include "bench/copy/benchtree.h"
#include "copy/coptfile.h"
#include "platform/machine/imagedrive.h"
#include "platform/machine/machine.h"

namespace fs = std::filesystem;

namespace {

constexpr char kChildFlag[] = "--copy-child";
constexpr double kGoalRatio = 1.0;
constexpr long kGoalPeakKiB = 64 * 1024;

platform::DWORD Progress(std::int64_t, std::int64_t, std::int64_t, std::int64_t, platform::DWORD, platform::DWORD,
                         platform::HANDLE, platform::HANDLE, void*) {
  return COptFile::Instance().IsStop() ? platform::PROGRESS_CANCEL : platform::PROGRESS_CONTINUE;
}

// The child: copies the image's tree (drive E:) to work/<dst> with the engine.
int CopyChild(const std::string& work, const std::string& image, const std::string& dst) {
  platform::Machine machine;
  platform::DriveDecl c;
  c.letter = L'C';
  c.hostFolder = work + "/c";
  fs::create_directories(c.hostFolder);
  machine.AddDrive(c);
  platform::DriveDecl t;
  t.letter = L'T';
  t.hostFolder = work;
  machine.AddDrive(t);
  platform::DriveDecl e;
  e.letter = L'E';
  e.image = image;
  e.driveType = platform::DRIVE_CDROM;
  std::string error;
  if (!platform::CompleteImageDrive(e, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  machine.AddDrive(e);
  platform::ScopedMachine scoped(std::move(machine));
  COptFile& engine = COptFile::Instance();
  engine.SetPath(L"E:\\", L"T:\\" + std::wstring(dst.begin(), dst.end()));
  return engine.Start(&Progress, nullptr) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], kChildFlag) == 0) return CopyChild(argv[2], argv[3], argv[4]);

  int rounds = 3;
  BenchTreeShape shape;
  shape.largeFiles = 2;
  shape.largeMiB = 400;
  shape.smallFiles = 3000;
  fs::path parent = fs::temp_directory_path();
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    if (opt == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
    else if (opt == "--large-mib") shape.largeMiB = std::strtoull(argv[i + 1], nullptr, 10);
    else if (opt == "--small-files") shape.smallFiles = std::atoi(argv[i + 1]);
    else if (opt == "--dir") parent = argv[i + 1];
  }
  WorkFolder work(parent, "kx-isobench-");
  if (work.path().empty()) {
    std::fprintf(stderr, "cannot make a work folder in %s\n", parent.c_str());
    return 2;
  }
  std::printf("generating the tree and its image in %s ...\n", work.path().c_str());
  std::fflush(stdout);
  const std::uint64_t bytes = WriteBenchTree(work.path() / "src", shape);
  const std::string image = (work.path() / "medium.iso").string();
  const std::string oscdimg = std::string(KX_PROGRAM_DIR) + "/Oscdimg_x86/Oscdimg/oscdimg.exe";
  if (Measure({oscdimg, "-lBENCH", "-m", "-o", "-u1", "-udfver102", (work.path() / "src").string(), image}).ok == false) {
    std::fprintf(stderr, "oscdimg could not make the image\n");
    return 2;
  }
  fs::remove_all(work.path() / "src");
  std::printf("%d large files of %llu MiB, %d small files, %.2f GiB in an image of %.2f GiB\n", shape.largeFiles,
              static_cast<unsigned long long>(shape.largeMiB), shape.smallFiles,
              static_cast<double>(bytes) / (1024.0 * 1024 * 1024),
              static_cast<double>(fs::file_size(image)) / (1024.0 * 1024 * 1024));

  const std::string self = fs::canonical("/proc/self/exe").string();
  const fs::path oursDst = work.path() / "ours", peerDst = work.path() / "peer";
  auto settle = [&] {
    std::error_code ec;
    for (const fs::path& p : {oursDst, peerDst}) {
      for (const auto& e : fs::recursive_directory_iterator(p, ec))
        fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add, ec);
      fs::remove_all(p, ec);
    }
    ::sync();
  };
  bool whole = true;
  auto ours = [&] {
    settle();
    Run run = Measure({self, kChildFlag, work.path().string(), image, "ours"});
    whole = run.ok && TreeBytes(oursDst) == bytes;
    return run;
  };
  auto peer = [&] {
    settle();
    Run run = Measure({"7zz", "x", "-y", "-bd", "-o" + peerDst.string(), image});
    run.ok = run.ok && TreeBytes(peerDst) == bytes;
    return run;
  };

  std::vector<double> ratios;
  long peakKiB = 0, peerPeakKiB = 0;
  for (int r = -1; r < rounds; ++r) {  // round -1 warms the page cache
    Run a, b;
    if (r % 2 == 0) {
      a = ours();
      b = peer();
    } else {
      b = peer();
      a = ours();
    }
    if (!whole || !b.ok) {
      std::fprintf(stderr, "round %d failed (ours %s, 7zz %s)\n", r, whole ? "ok" : "failed", b.ok ? "ok" : "failed");
      settle();
      return 1;
    }
    if (r < 0) continue;
    ratios.push_back(a.seconds / b.seconds);
    peakKiB = std::max(peakKiB, a.peakKiB);
    peerPeakKiB = std::max(peerPeakKiB, b.peakKiB);
    std::printf("round %d: ours %.3f s (%.0f MiB/s), 7zz x %.3f s (%.0f MiB/s), ratio %.3f\n", r + 1, a.seconds,
                static_cast<double>(bytes) / (1 << 20) / a.seconds, b.seconds,
                static_cast<double>(bytes) / (1 << 20) / b.seconds, a.seconds / b.seconds);
    std::fflush(stdout);
  }
  settle();
  const double ratio = Median(ratios);
  std::printf("median time ratio ours/7zz: %.3f (goal <= %.2f)\n", ratio, kGoalRatio);
  std::printf("peak memory: ours %.1f MiB (goal <= %ld MiB), 7zz %.1f MiB\n", peakKiB / 1024.0, kGoalPeakKiB / 1024,
              peerPeakKiB / 1024.0);
  return ratio <= kGoalRatio && peakKiB <= kGoalPeakKiB ? 0 : 3;
}
