// artgen <folder>: writes the skin pictures as PNG files into the folder.
// artgen --icons <folder>: writes the application icon there instead, as
// kestrunex-<side>.png for each menu size and as kestrunex.svg.
// The folder is created when missing. Exit code 0 on success, 1 on any failure.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "src/gui/graphics/image/pngfile.h"
#include "tools/artgen/appicon.h"
#include "tools/artgen/artwork.h"

namespace {

bool Save(const std::filesystem::path& path, const gs::GsBitmap& picture) {
  if (gs::SavePng(path.string(), picture)) return true;
  std::fprintf(stderr, "artgen: cannot write %s\n", path.c_str());
  return false;
}

int WriteIcons(const std::filesystem::path& folder) {
  for (int side : artgen::kIconSizes)
    if (!Save(folder / ("kestrunex-" + std::to_string(side) + ".png"), artgen::AppIcon(side))) return 1;
  const std::filesystem::path svg = folder / "kestrunex.svg";
  std::ofstream out(svg, std::ios::binary | std::ios::trunc);
  out << artgen::AppIconSvg();
  out.close();
  if (!out) {
    std::fprintf(stderr, "artgen: cannot write %s\n", svg.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool icons = argc == 3 && std::string(argv[1]) == "--icons";
  if (argc != 2 && !icons) {
    std::fprintf(stderr, "usage: artgen [--icons] <output folder>\n");
    return 1;
  }
  const std::filesystem::path folder = argv[argc - 1];
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (icons) return WriteIcons(folder);
  for (const auto& [name, picture] : artgen::AllPictures())
    if (!Save(folder / name, picture)) return 1;
  return 0;
}
