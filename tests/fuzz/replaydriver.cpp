// The replay driver of a fuzz harness, used where libFuzzer is not:
//
//   fuzz_x [FILE|DIR]...          replays the harness's seeds, damaged
//                                 variants of them, and every file given
//                                 (folders: every file in them, and their
//                                 damaged variants)
//   fuzz_x --write-seeds DIR      writes the seeds (a corpus for libFuzzer)
//   fuzz_x --mutate SECONDS [..]  keeps damaging seeds and files at random
//                                 for that long (scripts/fuzz without clang)
//
// A crash, sanitizer report or KX_FUZZ_CHECK failure ends the run; the
// input is saved as ./crash-replay first so it can be replayed alone.

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>

#include "kxfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

void Run(const std::string& input) {
  {
    // Written before the run: a crash leaves the input that caused it.
    static const char* keep = std::getenv("KX_FUZZ_KEEP_INPUT");
    if (keep && *keep) std::ofstream("crash-replay", std::ios::binary | std::ios::trunc) << input;
  }
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Collect(const fs::path& p, std::vector<std::string>& inputs) {
  std::error_code ec;
  if (fs::is_directory(p, ec)) {
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(p, ec))
      if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const auto& f : files) inputs.push_back(ReadAll(f));
  } else if (fs::is_regular_file(p, ec)) {
    inputs.push_back(ReadAll(p));
  } else {
    std::cerr << "fuzz: " << p.string() << ": no such file or folder\n";
    std::exit(2);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> seeds;
  KxFuzzSeeds(seeds);
  double mutateSeconds = 0;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--write-seeds") == 0 && i + 1 < argc) {
      fs::path dir = argv[++i];
      fs::create_directories(dir);
      for (std::size_t k = 0; k < seeds.size(); ++k)
        std::ofstream(dir / ("seed-" + std::to_string(k)), std::ios::binary) << seeds[k];
      std::cout << "fuzz: wrote " << seeds.size() << " seeds to " << dir.string() << "\n";
      return 0;
    }
    if (std::strcmp(argv[i], "--mutate") == 0 && i + 1 < argc) {
      mutateSeconds = std::atof(argv[++i]);
      continue;
    }
    Collect(argv[i], files);
  }

  std::vector<std::string> good = seeds;
  good.insert(good.end(), files.begin(), files.end());
  std::size_t runs = 0;
  for (const auto& g : good) {
    Run(g);
    ++runs;
    for (const auto& d : kxfuzz::Damaged(g)) {
      Run(d);
      ++runs;
    }
  }
  if (mutateSeconds > 0 && !good.empty()) {
    std::mt19937_64 rng(std::random_device{}());
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(mutateSeconds);
    while (std::chrono::steady_clock::now() < end) {
      std::string input = good[rng() % good.size()];
      // Damage already damaged inputs too: several rounds of edits.
      for (int round = 0, rounds = 1 + static_cast<int>(rng() % 3); round < rounds; ++round) {
        auto variants = kxfuzz::Damaged(input, 48, rng());
        if (variants.empty()) break;  // an input damaged down to nothing has no variants
        input = variants[rng() % variants.size()];
      }
      Run(input);
      ++runs;
    }
  }
  std::cout << "fuzz: " << runs << " inputs (" << seeds.size() << " seeds, " << files.size()
            << " corpus files) replayed without a fault\n";
  return 0;
}
