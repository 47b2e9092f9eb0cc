#pragma once
// An ISO image read back through our own reader of its file system
// (platform/image: UDF where the image has it, else ISO 9660 with Joliet
// names), over the file (or block device) read past the page cache. The
// reader's walk is bounded, so a damaged image is refused, never followed
// round a loop.

#include <map>
#include <memory>
#include <string>

#include "verify/producttree.h"
#include "platform/fs/uncachedfile.h"

namespace platform::image {
class ImageVolume;
}

namespace verify {

class IsoProduct : public ProductTree {
 public:
  IsoProduct();
  ~IsoProduct() override;
  IsoProduct(const IsoProduct&) = delete;
  IsoProduct& operator=(const IsoProduct&) = delete;

  // False with error set (the image cannot be read or holds no file system).
  bool Open(const std::string& hostPath, std::string& error);

  // El Torito boot entries of the image (0 when it has no boot catalog).
  int BootEntries() const { return bootEntries_; }

  bool HasFile(const std::string& relPath) const override;
  ReadStatus ReadFile(const std::string& relPath, const ContentSink& sink) override;

 private:
  std::unique_ptr<platform::UncachedFile> file_;
  std::shared_ptr<platform::image::ImageVolume> volume_;
  std::map<std::string, int> files_;  // folded path -> node of the tree
  int bootEntries_ = 0;
};

}  // namespace verify
