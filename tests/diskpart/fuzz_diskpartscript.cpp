// Scripts given to our disk tool with /s: split into lines at CR, LF and
// CR LF with a cap on a line's length. Every line handed on is within the
// cap and holds no line end; a refusal names a line that exists.
#include "kxfuzz.h"
#include "tools/diskpart/scriptfile.h"

KX_FUZZ_TARGET {
  const std::string text = kxfuzz::Bytes(data, size);
  std::vector<std::string> lines;
  std::size_t bad = 0;
  if (diskpart::SplitScriptLines(text, &lines, &bad)) {
    for (const std::string& line : lines) {
      KX_FUZZ_CHECK(line.size() <= diskpart::kMaxLineChars);
      KX_FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
    }
  } else {
    KX_FUZZ_CHECK(bad >= 1 && bad <= lines.size() + 1);
    KX_FUZZ_CHECK(text.size() > diskpart::kMaxLineChars);
  }
  return 0;
}

KX_FUZZ_SEEDS {
  seeds.push_back("sel disk 1\r\nsel par 1\r\nformat fs=FAT32 quick label=GRMCULFRER\r\nactive\r\nexit\r\n");
  seeds.push_back("rem cr only\rsel disk 1\rclean\rcrea part prim\r");
  seeds.push_back("sel disk 1\nassign letter=E\n\n\n");
  seeds.push_back("sel disk 1 " + std::string(diskpart::kMaxLineChars, 'x') + "\nexit\n");
}
