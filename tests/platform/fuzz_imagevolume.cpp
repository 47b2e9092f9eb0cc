// Our readers of disc images (ISO 9660 with Joliet, UDF through libudfread)
// on damaged images: what a user's ISO file or a medium that lost data gives
// back. An image may be refused or a file may fail, never a crash, a hang,
// a read past the image or a name no file can have.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/image/imagevolume.h"
#include "platform/image/isotree.h"
#include "tests/fuzz/kxfuzz.h"

namespace {

constexpr std::size_t kReadPerFile = 1 << 20;  // sparse UDF files may claim any size

// A small tree with Joliet names and an El Torito entry, as xorriso writes
// it (ISO 9660 only), or as our oscdimg writes it (UDF and its bridge).
std::string SampleImage(bool udf) {
  char pattern[] = "/tmp/kx-fuzz-image-XXXXXX";
  const std::filesystem::path dir = mkdtemp(pattern);
  const auto tree = dir / "tree";
  std::filesystem::create_directories(tree / "Sources" / "Deep Folder");
  std::ofstream(tree / "bootmgr") << std::string(3000, 'b');
  std::ofstream(tree / "Sources" / "boot.wim") << std::string(5000, 'w');
  std::ofstream(tree / "Sources" / "Deep Folder" / "A long name with spaces.txt") << "text";
  std::ofstream(tree / "etfsboot.com") << std::string(2048, 'e');
  const std::string iso = (dir / "sample.iso").string();
  const std::string command =
      udf ? "'" KX_PROGRAM_DIR "/Oscdimg_x86/Oscdimg/oscdimg.exe' -lSAMPLE -m -o -u1 -udfver102 '" + tree.string() +
                "' '" + iso + "' >/dev/null 2>&1"
          : "xorriso -as mkisofs -quiet -iso-level 3 -J -joliet-long -b etfsboot.com -no-emul-boot -o '" + iso +
                "' '" + tree.string() + "' >/dev/null 2>&1";
  std::string bytes;
  if (std::system(command.c_str()) == 0) {
    std::ifstream in(iso, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::filesystem::remove_all(dir);
  return bytes;
}

}  // namespace

KX_FUZZ_TARGET {
  const std::uint64_t imageSize = size;
  auto read = [data, size](std::uint64_t offset, void* buffer, std::size_t n) -> std::int64_t {
    if (offset >= size) return 0;
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, size - offset));
    std::memcpy(buffer, data + offset, take);
    return static_cast<std::int64_t>(take);
  };
  std::string error;
  auto volume = platform::image::ImageVolume::OpenReader(read, imageSize, error);
  if (!volume) {
    KX_FUZZ_CHECK(!error.empty());
    return 0;
  }
  KX_FUZZ_CHECK(platform::image::CountBootEntries(volume->Source()) >= 0);
  const auto& nodes = volume->tree().nodes;
  std::vector<unsigned char> buffer(64 * 1024);
  for (std::size_t i = 1; i < nodes.size(); ++i) {
    KX_FUZZ_CHECK(!platform::image::IsBadName(nodes[i].name));
    for (const auto& extent : nodes[i].extents) KX_FUZZ_CHECK(extent.offset + extent.length <= imageSize);
    if (nodes[i].folder) continue;
    auto reader = volume->OpenFile(static_cast<int>(i));
    if (!reader) continue;
    std::size_t total = 0;
    while (total < kReadPerFile) {
      const std::int64_t n = reader->Read(buffer.data(), buffer.size());
      if (n <= 0) break;
      KX_FUZZ_CHECK(static_cast<std::size_t>(n) <= buffer.size());
      total += static_cast<std::size_t>(n);
    }
  }
  return 0;
}

KX_FUZZ_SEEDS {
  for (bool udf : {false, true}) {
    const std::string image = SampleImage(udf);
    if (!image.empty()) seeds.push_back(image);
  }
}
