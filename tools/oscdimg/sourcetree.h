#pragma once
// The folder tree that becomes the image: read once from the host, in a
// stable order (names sorted byte-wise), so the image is the same for the
// same tree.

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace oscdimg {

struct SourceNode {
  std::string name;      // the host name (UTF-8); empty for the root
  std::string hostPath;  // absolute host path
  bool isDir = false;
  struct stat info {};   // of the file itself (links followed)
  std::vector<std::unique_ptr<SourceNode>> children;  // folders only
  // Files only: the file whose data this one shares (another name of the
  // same file, or identical content with -o), or null when it carries its
  // own data.
  const SourceNode* sameAs = nullptr;

  std::uint64_t Size() const { return static_cast<std::uint64_t>(info.st_size); }
};

struct SourceTree {
  std::unique_ptr<SourceNode> root;
  std::uint64_t files = 0;
  std::uint64_t folders = 0;  // without the root
  std::uint64_t bytes = 0;    // file data before sharing identical files
};

// Reads the tree under hostFolder. Entries that are neither files nor
// folders (sockets, devices), links to folders (they could loop) and links
// that lead nowhere or out of hostFolder are skipped with a warning on
// standard error. Further names
// of one file point at its first name (sameAs). False with a message naming
// the path when a folder cannot be read.
bool ReadSourceTree(const std::string& hostFolder, SourceTree* tree, std::string* error);

// Every file of the tree, folders first-to-last in tree order.
std::vector<SourceNode*> FilesOf(const SourceTree& tree);

}  // namespace oscdimg
