// Our reader of a product's ISO image (libisofs over our data source) on
// damaged images: what a medium that lost or garbled data gives back. It may
// refuse an image or fail a file, never crash, hang or read past the image.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/fuzz/kxfuzz.h"
#include "verify/isoproduct.h"

namespace {

// An image of a few files and folders with Joliet names and an El Torito
// entry, written by xorriso.
std::string SampleImage() {
  char pattern[] = "/tmp/kx-fuzz-iso-XXXXXX";
  const std::filesystem::path dir = mkdtemp(pattern);
  const auto tree = dir / "tree";
  std::filesystem::create_directories(tree / "Sources" / "Deep Folder");
  std::ofstream(tree / "bootmgr") << std::string(3000, 'b');
  std::ofstream(tree / "Sources" / "boot.wim") << std::string(5000, 'w');
  std::ofstream(tree / "Sources" / "Deep Folder" / "A long name with spaces.txt") << "text";
  std::ofstream(tree / "etfsboot.com") << std::string(2048, 'e');
  const std::string iso = (dir / "sample.iso").string();
  const std::string command = "xorriso -as mkisofs -quiet -iso-level 3 -J -joliet-long -b etfsboot.com "
                              "-no-emul-boot -o '" + iso + "' '" + tree.string() + "' >/dev/null 2>&1";
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
  const int fd = memfd_create("kx-fuzz-iso", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return 0;
  }
  verify::IsoProduct product;
  std::string error;
  if (product.Open("/proc/self/fd/" + std::to_string(fd), error)) {
    KX_FUZZ_CHECK(product.BootEntries() >= 0);
    for (const char* name : {"bootmgr", "sources/boot.wim", "sources/deep folder/a long name with spaces.txt"}) {
      std::uint64_t total = 0;
      product.ReadFile(name, [&](const unsigned char*, std::size_t length) {
        total += length;
        return true;
      });
      // libisofs reads what a damaged record claims until the image ends;
      // it can never hand out more than the image holds.
      KX_FUZZ_CHECK(total <= size + 2048);
    }
  } else {
    KX_FUZZ_CHECK(!error.empty());
  }
  close(fd);
  return 0;
}

KX_FUZZ_SEEDS {
  const std::string image = SampleImage();
  if (!image.empty()) seeds.push_back(image);
}
