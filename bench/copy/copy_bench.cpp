// The copy engine against `cp -r` on the same file system.
//
//   copy_bench [--rounds N] [--large-mib M] [--small-files K] [--dir FOLDER]
//
// Generates a tree (3 x 500 MiB and 4,000 files of up to 256 KiB, about
// 2 GiB) in a fresh folder under FOLDER (default: the temporary folder),
// copies it once with each tool to warm up, then N rounds (default 5) with
// each, alternating which goes first. Each copy runs as a child process, so
// its time includes a process start for both and its peak memory is its own.
// Prints the median ratio of cp's time to ours (our share of cp's
// throughput; goal at least 0.95) and our peak memory (goal under 64 MiB).
// Everything generated is removed at the end.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "benchrun.h"
#include "benchtree.h"
#include "copy/coptfile.h"
#include "platform/machine/machine.h"

namespace fs = std::filesystem;

namespace {

constexpr char kChildFlag[] = "--copy-child";
constexpr double kGoalRatio = 0.95;
constexpr long kGoalPeakKiB = 64 * 1024;

// A progress routine doing what the pipeline's does, minus the window.
platform::DWORD Progress(std::int64_t fileSize, std::int64_t fileDone, std::int64_t, std::int64_t, platform::DWORD,
                         platform::DWORD, platform::HANDLE, platform::HANDLE, void* data) {
  if (fileSize <= 0) return platform::PROGRESS_CONTINUE;
  const COptFile& engine = COptFile::Instance();
  if (engine.IsStop()) return platform::PROGRESS_CANCEL;
  const double share = static_cast<double>(engine.GetCopiedSize() + fileDone) /
                       static_cast<double>(std::max<std::int64_t>(engine.GetTotalFileSize(), 1)) * 100.0;
  *static_cast<int*>(data) = static_cast<int>(engine.GetWeight() * share);
  return platform::PROGRESS_CONTINUE;
}

// The child: copies work/src to work/<dst> with the engine, through a
// machine whose C: and T: live in the work folder.
int CopyChild(const std::string& work, const std::string& dst) {
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
  platform::ScopedMachine scoped(std::move(machine));

  COptFile& engine = COptFile::Instance();
  const std::wstring target = L"T:\\" + std::wstring(dst.begin(), dst.end());
  engine.SetPath(L"T:\\src", target);
  int percent = 0;
  const bool ok = engine.Start(&Progress, &percent);
  return ok && percent == 100 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], kChildFlag) == 0) return CopyChild(argv[2], argv[3]);

  int rounds = 5;
  BenchTreeShape shape;
  fs::path parent = fs::temp_directory_path();
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string opt = argv[i];
    if (opt == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
    else if (opt == "--large-mib") shape.largeMiB = std::strtoull(argv[i + 1], nullptr, 10);
    else if (opt == "--small-files") shape.smallFiles = std::atoi(argv[i + 1]);
    else if (opt == "--dir") parent = argv[i + 1];
  }

  WorkFolder work(parent, "kx-copybench-");
  if (work.path().empty()) {
    std::fprintf(stderr, "cannot make a work folder in %s\n", parent.c_str());
    return 2;
  }
  std::printf("generating the tree in %s ...\n", work.path().c_str());
  std::fflush(stdout);
  const std::uint64_t bytes = WriteBenchTree(work.path() / "src", shape);
  std::printf("%d large files of %llu MiB, %d small files, %.2f GiB in all\n", shape.largeFiles,
              static_cast<unsigned long long>(shape.largeMiB), shape.smallFiles,
              static_cast<double>(bytes) / (1024.0 * 1024 * 1024));

  const std::string self = fs::canonical("/proc/self/exe").string();
  const fs::path oursDst = work.path() / "ours", cpDst = work.path() / "cp";
  // Each copy starts with nothing dirty in the page cache, so neither pays
  // for writing back the other's data.
  auto settle = [&] {
    std::error_code ec;
    fs::remove_all(oursDst, ec);
    fs::remove_all(cpDst, ec);
    ::sync();
  };
  bool whole = true;
  auto ours = [&] {
    settle();
    Run run = Measure({self, kChildFlag, work.path().string(), "ours"});
    whole = run.ok && TreeBytes(oursDst) == bytes;
    return run;
  };
  auto cp = [&] {
    settle();
    return Measure({"cp", "-r", (work.path() / "src").string(), cpDst.string()});
  };

  std::vector<double> ratios;
  long peakKiB = 0, cpPeakKiB = 0;
  for (int r = -1; r < rounds; ++r) {  // round -1 warms the caches
    Run a, b;
    if (r % 2 == 0) {
      a = ours();
      b = cp();
    } else {
      b = cp();
      a = ours();
    }
    if (!whole || !b.ok) {
      std::fprintf(stderr, "round %d failed (ours %s, cp %s)\n", r, whole ? "ok" : "failed", b.ok ? "ok" : "failed");
      settle();
      return 1;
    }
    if (r < 0) continue;
    ratios.push_back(b.seconds / a.seconds);
    peakKiB = std::max(peakKiB, a.peakKiB);
    cpPeakKiB = std::max(cpPeakKiB, b.peakKiB);
    std::printf("round %d: ours %.3f s (%.0f MiB/s), cp -r %.3f s (%.0f MiB/s), ratio %.3f\n", r + 1, a.seconds,
                static_cast<double>(bytes) / (1 << 20) / a.seconds, b.seconds,
                static_cast<double>(bytes) / (1 << 20) / b.seconds, b.seconds / a.seconds);
    std::fflush(stdout);
  }
  settle();
  const double ratio = Median(ratios);
  std::printf("median throughput ratio ours/cp: %.3f (goal >= %.2f)\n", ratio, kGoalRatio);
  std::printf("peak memory: ours %.1f MiB (goal < %ld MiB), cp %.1f MiB\n", peakKiB / 1024.0, kGoalPeakKiB / 1024,
              cpPeakKiB / 1024.0);
  return ratio >= kGoalRatio && peakKiB < kGoalPeakKiB ? 0 : 3;
}
