// Measures a generated tree of about 100,000 files with GetFolderSize and
// with `du -sb` on the same tree, in one run, and prints the ratio of times.
//
//   bench_foldersize [files]     (default 100000)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "disk/foldertree.h"
#include "platform/machine/machine.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

// 100 folders of 10 subfolders each, files spread evenly, sizes 0..8 KiB.
std::int64_t MakeTree(const fs::path& root, int files) {
  std::int64_t total = 0;
  std::string content(8192, 'k');
  for (int i = 0; i < files; ++i) {
    fs::path dir = root / ("d" + std::to_string(i % 100)) / ("s" + std::to_string(i / 100 % 10));
    if (i < 1000) fs::create_directories(dir);
    size_t size = static_cast<size_t>((i * 7919) % 8193);
    std::ofstream(dir / ("f" + std::to_string(i) + ".bin"), std::ios::binary).write(content.data(), size);
    total += static_cast<std::int64_t>(size);
  }
  return total;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int files = argc > 1 ? std::atoi(argv[1]) : 100000;
  fs::path base = fs::temp_directory_path() / ("kx-bench-foldersize-" + std::to_string(::getpid()));
  fs::create_directories(base / "tree");
  std::printf("generating %d files under %s ...\n", files, base.c_str());
  std::int64_t expected = MakeTree(base / "tree", files);

  std::ofstream(base / "machine.ini") << "[drive E]\nfolder = tree\ntype = fixed\n";
  platform::ScopedMachine machine(platform::Machine::FromProfile((base / "machine.ini").string(), base.string()));

  std::string du = "du -sb '" + (base / "tree").string() + "' > /dev/null";
  std::vector<double> ours, theirs;
  std::int64_t measured = 0;
  for (int round = 0; round < 6; ++round) {  // round 0 warms the caches and is not counted
    auto t0 = Clock::now();
    measured = GetFolderSize(L"E:\\", true);
    double a = Seconds(t0);
    t0 = Clock::now();
    if (std::system(du.c_str()) != 0) std::fprintf(stderr, "du failed\n");
    double b = Seconds(t0);
    if (round > 0) {
      ours.push_back(a);
      theirs.push_back(b);
    }
  }
  fs::remove_all(base);
  if (measured != expected) {
    std::fprintf(stderr, "GetFolderSize gave %lld bytes, expected %lld\n", static_cast<long long>(measured),
                 static_cast<long long>(expected));
    return 1;
  }
  double o = Median(ours), t = Median(theirs);
  std::printf("GetFolderSize: %.3f s   du -sb: %.3f s   (medians of 5)\n", o, t);
  std::printf("ratio ours/du: %.2f (goal: 1.00 or less)\n", o / t);
  return 0;
}
