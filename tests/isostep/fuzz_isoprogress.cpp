// Feeds each file of a corpus to the progress reader as one chunk of tool
// output, the way the runner converts and reads it. Built with a fuzzing
// engine it is that engine's target; otherwise main replays the corpus.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "pipeline/makeisofile.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring chunk = platform::WideFromAnsi(std::string_view(reinterpret_cast<const char*>(data), size));
  const int value = IsoProgressValue(chunk);
  // Three characters at most: the value cannot leave -999..999.
  if (value < -999 || value > 999) __builtin_trap();
  return 0;
}

#ifndef KX_FUZZ_ENGINE
int main(int argc, char** argv) {
  int files = 0;
  for (int i = 1; i < argc; ++i) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i])) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++files;
    }
  }
  std::printf("%d inputs replayed\n", files);
  return files > 0 ? 0 : 1;
}
#endif
