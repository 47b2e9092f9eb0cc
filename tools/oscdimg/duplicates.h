#pragma once
// -o: files with identical content are stored once. Content is compared
// byte for byte; only files that share their size with another file are
// read at all, and a short prefix digest sorts out most of them before a
// full comparison, so a tree of distinct large files costs no extra pass.

#include <cstdint>
#include <string>

#include "tools/oscdimg/sourcetree.h"

namespace oscdimg {

struct SharingResult {
  std::uint64_t sharedFiles = 0;  // files that point at another file's data
  std::uint64_t savedBytes = 0;   // their combined size
};

// Sets SourceNode::sameAs for every file whose content equals an earlier
// file's (tree order). Empty files are left alone (they have no data).
// False with a message naming the file when one cannot be read.
bool ShareIdenticalFiles(SourceTree* tree, SharingResult* result, std::string* error);

}  // namespace oscdimg
