#pragma once
// Where the file data of an image really is, before a second file system
// is pointed at it.

#include <cstdint>
#include <map>
#include <string>

#include "tools/oscdimg/sourcetree.h"

namespace oscdimg {

class TargetFile;

// blocks: the first block of each file's data as laid out. Confirms them
// against the written image (moving them all by the few blocks libisofs may
// keep in front of the file data), comparing the first and last block of
// every file with its source. False with a message when a file's data is
// not where the layout puts it, or on a read error.
bool ConfirmLayout(TargetFile& file, std::map<const SourceNode*, std::uint32_t>* blocks, std::string* error);

}  // namespace oscdimg
