#pragma once
// A product that is a folder tree on a mounted volume (the root of a
// stick): every file is read past the page cache (see UncachedFile), so a
// volume whose device lost data shows it here.

#include <map>
#include <string>

#include "verify/producttree.h"

namespace verify {

class FolderProduct : public ProductTree {
 public:
  // Indexes the tree under hostRoot once (symbolic links are not followed).
  explicit FolderProduct(const std::string& hostRoot);

  bool HasFile(const std::string& relPath) const override;
  ReadStatus ReadFile(const std::string& relPath, const ContentSink& sink) override;
  // The host path of a file of the product; empty when it has none.
  std::string HostPath(const std::string& relPath) const;

 private:
  std::map<std::string, std::string> files_;  // folded path -> host path
};

}  // namespace verify
