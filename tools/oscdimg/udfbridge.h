#pragma once
// The UDF 1.02 side of a bridge image: a UDF file system over the same file
// data as the ISO 9660 side. Layout (2 KiB blocks):
//
//   0-31     system area and ISO 9660 volume descriptors (libisofs), then
//            the volume recognition sequence BEA01, NSR02, TEA01
//   32-47    main volume descriptor sequence (primary, implementation use,
//            partition, logical volume, unallocated space, terminating)
//   48-63    reserve volume descriptor sequence (the same)
//   64-65    logical volume integrity descriptor, terminating descriptor
//   256      anchor volume descriptor pointer
//   257-     the partition: file set descriptor, then per folder its file
//            entry and its file identifiers, per file its file entry
//   then     the ISO 9660 image of libisofs (its directories and the file
//            data both file systems share), inside the partition
//   N-256, N anchor volume descriptor pointers (N the last block), in
//            spare blocks libisofs leaves at the end of its image
//
// The UDF part before the ISO 9660 image depends only on the tree (names,
// sizes), so it is planned first; the file entries are written once the
// file data's blocks are known.

#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "tools/oscdimg/sourcetree.h"
#include "tools/oscdimg/udfformat.h"

namespace oscdimg {

class TargetFile;

class UdfBridge {
 public:
  // Plans the UDF structures of the tree. False with a message for a name
  // UDF cannot hold (longer than 254 8-bit or 127 16-bit characters, or not
  // valid UTF-8).
  bool Plan(const SourceTree& tree, const std::string& label, std::time_t now, std::string* error);

  // The first block after the UDF structures: where the ISO 9660 image
  // starts.
  std::uint32_t ImageStart() const { return partitionStart_ + partitionBlocks_; }

  // Writes every UDF structure into the image file: the volume recognition
  // sequence into head (the 32 blocks written at block 0), the rest into the
  // file. dataBlock gives the first block of each file that has data;
  // totalBlocks is the image's size; its last 257 blocks are spare.
  bool Write(TargetFile& file, std::vector<std::uint8_t>& head,
             const std::map<const SourceNode*, std::uint32_t>& dataBlock, std::uint32_t totalBlocks,
             std::string* error);

 private:
  struct Entry {
    const SourceNode* node;
    std::uint32_t feBlock;      // partition-relative
    std::uint32_t fidBlock;     // folders: first block of their identifiers
    std::uint32_t fidBytes;     // folders: length of their identifiers
    std::uint64_t uniqueId;
    std::size_t parent;         // index of the parent folder's entry
  };

  std::size_t AddFolder(const SourceNode& folder, std::size_t parent, std::string* error);
  bool WriteVolumeDescriptors(TargetFile& file, std::uint32_t totalBlocks, std::string* error);
  bool WriteFileSet(TargetFile& file, std::string* error);
  bool WriteEntry(TargetFile& file, const Entry& e, const std::map<const SourceNode*, std::uint32_t>& dataBlock,
                  std::string* error);
  bool WriteIdentifiers(TargetFile& file, const Entry& folder, std::string* error);
  bool WriteBlock(TargetFile& file, std::uint32_t absoluteBlock, const udf::Block& b, std::string* error);

  std::vector<Entry> entries_;                       // entries_[0] is the root
  std::map<const SourceNode*, std::size_t> indexOf_;
  std::map<const SourceNode*, std::vector<std::uint8_t>> names_;
  std::string label_;
  std::time_t now_ = 0;
  std::uint32_t partitionStart_ = 257;
  std::uint32_t partitionBlocks_ = 0;  // blocks of UDF structures in the partition
  std::uint32_t partitionLength_ = 0;
  std::uint64_t files_ = 0, folders_ = 0;
};

}  // namespace oscdimg
