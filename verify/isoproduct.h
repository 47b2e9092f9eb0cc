#pragma once
// An ISO image read back through our own reader of its file system: the
// image's ISO 9660 tree with Joliet names, imported by libisofs from a data
// source that reads the file (or block device) past the page cache.

#include <map>
#include <memory>
#include <string>

#include "verify/producttree.h"
#include "verify/uncachedfile.h"

struct Iso_Image;
struct Iso_Node;

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
  void Index(Iso_Node* dir, const std::string& prefix);

  std::unique_ptr<UncachedFile> file_;
  Iso_Image* image_ = nullptr;
  std::map<std::string, Iso_Node*> files_;  // folded path -> file node
  int bootEntries_ = 0;
};

}  // namespace verify
