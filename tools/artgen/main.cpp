// artgen <folder>: writes the skin pictures as PNG files into the folder
// (created when missing). Exit code 0 on success, 1 on any failure.

#include <cstdio>
#include <filesystem>

#include "src/gui/graphics/image/pngfile.h"
#include "tools/artgen/artwork.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: artgen <output folder>\n");
    return 1;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  for (const auto& [name, picture] : artgen::AllPictures()) {
    const std::string path = (folder / name).string();
    if (!gs::SavePng(path, picture)) {
      std::fprintf(stderr, "artgen: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
