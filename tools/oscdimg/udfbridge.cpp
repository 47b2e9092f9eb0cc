#include "tools/oscdimg/udfbridge.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tools/oscdimg/targetfile.h"

namespace oscdimg {
namespace {

using namespace udf;

constexpr std::uint32_t kMainSequence = 32, kReserveSequence = 48, kSequenceBlocks = 16;
constexpr std::uint32_t kIntegrityBlock = 64, kAnchorBlock = 256;
constexpr std::uint32_t kMaxExtent = 0x3FFFF800;  // largest block-aligned short_ad length
constexpr std::size_t kFileEntryHead = 176, kShortAd = 8, kFidHead = 38;
constexpr std::uint16_t kFolderPermissions = 0x14A5;  // read and execute for all
constexpr std::uint16_t kFilePermissions = 0x1084;    // read for all
constexpr std::uint16_t kExecutePermissions = 0x0421;
constexpr std::uint8_t kCharDirectory = 0x02, kCharParent = 0x08;

std::uint32_t Blocks(std::uint64_t bytes) { return static_cast<std::uint32_t>((bytes + kBlock - 1) / kBlock); }
std::uint32_t FidLength(std::size_t nameBytes) { return static_cast<std::uint32_t>((kFidHead + nameBytes + 3) & ~std::size_t{3}); }

void PutLongAd(Block& b, std::size_t at, std::uint32_t length, std::uint32_t block, std::uint64_t uniqueId) {
  Put32(b, at, length);
  Put32(b, at + 4, block);
  Put16(b, at + 8, 0);
  // Implementation use: flags, then the UDF unique id's low 32 bits.
  Put32(b, at + 12, static_cast<std::uint32_t>(uniqueId));
}

// One of the six descriptors of a volume descriptor sequence.
Block SequenceDescriptor(int index, const std::string& label, std::time_t now, std::uint32_t partitionStart,
                         std::uint32_t partitionLength) {
  Block b(kBlock, 0);
  Put32(b, 16, static_cast<std::uint32_t>(index));  // sequence number
  switch (index) {
    case 0: {  // primary volume
      PutDString(b, 24, 32, label);
      Put16(b, 56, 1), Put16(b, 58, 1), Put16(b, 60, 2), Put16(b, 62, 2);
      Put32(b, 64, 1), Put32(b, 68, 1);
      char set[32];
      std::snprintf(set, sizeof set, "%08X%s", static_cast<unsigned>(now), label.c_str());
      PutDString(b, 72, 128, set);
      PutCharspec(b, 200), PutCharspec(b, 264);
      PutImplementation(b, 344);
      PutTime(b, 376, now);
      PutImplementation(b, 388);
      FinishTag(b, 0, kPrimaryVolume, 512, 0);
      break;
    }
    case 1:  // implementation use: logical volume information
      PutRegid(b, 20, "*UDF LV Info", {kRevision & 0xFF, kRevision >> 8});
      PutCharspec(b, 52);
      PutDString(b, 116, 128, label);
      PutImplementation(b, 352);
      FinishTag(b, 0, kImplementationUse, 512, 0);
      break;
    case 2:  // partition
      Put16(b, 20, 1);  // allocated
      PutRegid(b, 24, "+NSR02", {});
      Put32(b, 184, 1);  // read-only
      Put32(b, 188, partitionStart);
      Put32(b, 192, partitionLength);
      PutImplementation(b, 196);
      FinishTag(b, 0, kPartition, 512, 0);
      break;
    case 3:  // logical volume with one type-1 partition map
      PutCharspec(b, 20);
      PutDString(b, 84, 128, label);
      Put32(b, 212, kBlock);
      PutDomain(b, 216);
      PutLongAd(b, 248, kBlock, 0, 0);  // the file set descriptor
      Put32(b, 264, 6), Put32(b, 268, 1);
      PutImplementation(b, 272);
      Put32(b, 432, 2 * kBlock), Put32(b, 436, kIntegrityBlock);
      Put8(b, 440, 1), Put8(b, 441, 6), Put16(b, 442, 1), Put16(b, 444, 0);
      FinishTag(b, 0, kLogicalVolume, 446, 0);
      break;
    case 4:  // unallocated space: none
      FinishTag(b, 0, kUnallocatedSpace, 24, 0);
      break;
    default:
      FinishTag(b, 0, kTerminating, 512, 0);
  }
  return b;
}

void Retag(Block& b, std::uint32_t location) {
  // The descriptor's identity and length stay; only its location changes.
  const auto id = static_cast<TagId>(b[0] | (b[1] << 8));
  const std::size_t length = 16 + (b[10] | (b[11] << 8));
  FinishTag(b, 0, id, length, location);
}

}  // namespace

bool UdfBridge::Plan(const SourceTree& tree, const std::string& label, std::time_t now, std::string* error) {
  label_ = label;
  now_ = now;
  entries_.clear();
  partitionBlocks_ = 1;  // the file set descriptor
  return AddFolder(*tree.root, 0, error) != SIZE_MAX;
}

std::size_t UdfBridge::AddFolder(const SourceNode& folder, std::size_t parent, std::string* error) {
  const std::size_t index = entries_.size();
  ++folders_;
  Entry e{&folder, partitionBlocks_++, 0, FidLength(0), index == 0 ? 0 : 16 + entries_.size(), parent};
  for (const auto& child : folder.children) {
    std::vector<std::uint8_t> name = CompressedUnicode(child->name);
    if (name.empty()) {
      *error = "UDF cannot hold the name of " + child->hostPath + " (it is not UTF-8 text; UDF names are Unicode)";
      return SIZE_MAX;
    }
    if (name.size() <= 1 || name.size() > 255) {
      *error = "UDF cannot hold the name of " + child->hostPath + " (at most 254 8-bit or 127 16-bit characters)";
      return SIZE_MAX;
    }
    e.fidBytes += FidLength(name.size());
    names_[child.get()] = std::move(name);
  }
  e.fidBlock = partitionBlocks_;
  partitionBlocks_ += Blocks(e.fidBytes);
  entries_.push_back(e);
  indexOf_[&folder] = index;
  for (const auto& child : folder.children) {
    if (child->isDir) {
      if (AddFolder(*child, index, error) == SIZE_MAX) return SIZE_MAX;
      continue;
    }
    ++files_;
    indexOf_[child.get()] = entries_.size();
    entries_.push_back(Entry{child.get(), partitionBlocks_++, 0, 0, 16 + entries_.size(), index});
  }
  return index;
}

bool UdfBridge::WriteBlock(TargetFile& file, std::uint32_t absoluteBlock, const Block& b, std::string* error) {
  return file.WriteAt(b.data(), kBlock, std::uint64_t{absoluteBlock} * kBlock, error);
}

bool UdfBridge::Write(TargetFile& file, std::vector<std::uint8_t>& head,
                      const std::map<const SourceNode*, std::uint32_t>& dataBlock, std::uint32_t totalBlocks,
                      std::string* error) {
  // The volume recognition sequence follows the ISO 9660 set terminator.
  std::uint32_t vrs = 0;
  for (std::uint32_t blk = 16; blk < 29 && !vrs; ++blk)
    if (head[blk * kBlock] == 255 && std::memcmp(&head[blk * kBlock + 1], "CD001", 5) == 0) vrs = blk + 1;
  if (!vrs) {
    *error = "the ISO 9660 volume descriptors leave no room for the UDF recognition sequence";
    return false;
  }
  for (const char* id : {"BEA01", "NSR02", "TEA01"}) {
    std::uint8_t* d = &head[vrs++ * kBlock];
    std::memset(d, 0, kBlock);
    std::memcpy(d + 1, id, 5);
    d[6] = 1;
  }
  // The partition ends where the anchor at N-256 begins.
  partitionLength_ = totalBlocks - 1 - 256 - partitionStart_;
  if (!WriteVolumeDescriptors(file, totalBlocks, error) || !WriteFileSet(file, error)) return false;
  for (const Entry& e : entries_) {
    if (!WriteEntry(file, e, dataBlock, error)) return false;
    if (e.node->isDir && !WriteIdentifiers(file, e, error)) return false;
  }
  return true;
}

bool UdfBridge::WriteVolumeDescriptors(TargetFile& file, std::uint32_t totalBlocks, std::string* error) {
  for (int i = 0; i < 6; ++i) {
    Block b = SequenceDescriptor(i, label_, now_, partitionStart_, partitionLength_);
    for (std::uint32_t start : {kMainSequence, kReserveSequence}) {
      Retag(b, start + static_cast<std::uint32_t>(i));
      if (!WriteBlock(file, start + static_cast<std::uint32_t>(i), b, error)) return false;
    }
  }
  Block lvid(kBlock, 0);
  PutTime(lvid, 16, now_);
  Put32(lvid, 28, 1);  // closed
  Put64(lvid, 40, 16 + entries_.size());  // next unique id
  Put32(lvid, 72, 1), Put32(lvid, 76, 46);
  Put32(lvid, 80, 0), Put32(lvid, 84, partitionLength_);
  PutImplementation(lvid, 88);
  Put32(lvid, 120, static_cast<std::uint32_t>(files_)), Put32(lvid, 124, static_cast<std::uint32_t>(folders_));
  Put16(lvid, 128, kRevision), Put16(lvid, 130, kRevision), Put16(lvid, 132, kRevision);
  FinishTag(lvid, 0, kIntegrity, 134, kIntegrityBlock);
  Block end(kBlock, 0);
  FinishTag(end, 0, kTerminating, 512, kIntegrityBlock + 1);
  if (!WriteBlock(file, kIntegrityBlock, lvid, error) || !WriteBlock(file, kIntegrityBlock + 1, end, error)) return false;

  for (std::uint32_t at : {kAnchorBlock, totalBlocks - 1 - 256, totalBlocks - 1}) {
    Block avdp(kBlock, 0);
    Put32(avdp, 16, kSequenceBlocks * kBlock), Put32(avdp, 20, kMainSequence);
    Put32(avdp, 24, kSequenceBlocks * kBlock), Put32(avdp, 28, kReserveSequence);
    FinishTag(avdp, 0, kAnchor, 512, at);
    if (!WriteBlock(file, at, avdp, error)) return false;
  }
  return true;
}

bool UdfBridge::WriteFileSet(TargetFile& file, std::string* error) {
  Block b(kBlock, 0);
  PutTime(b, 16, now_);
  Put16(b, 28, 3), Put16(b, 30, 3), Put32(b, 32, 1), Put32(b, 36, 1);
  PutCharspec(b, 48);
  PutDString(b, 112, 128, label_);
  PutCharspec(b, 240);
  PutDString(b, 304, 32, label_);
  PutLongAd(b, 400, kBlock, entries_[0].feBlock, 0);
  PutDomain(b, 416);
  FinishTag(b, 0, kFileSet, 512, 0);
  return WriteBlock(file, partitionStart_, b, error);
}

bool UdfBridge::WriteEntry(TargetFile& file, const Entry& e, const std::map<const SourceNode*, std::uint32_t>& dataBlock,
                           std::string* error) {
  const SourceNode& n = *e.node;
  Block b(kBlock, 0);
  Put16(b, 20, 4);  // strategy 4
  Put16(b, 24, 1);  // one entry
  Put8(b, 27, n.isDir ? 4 : 5);
  Put16(b, 34, 0);  // short allocation descriptors
  Put32(b, 36, 0xFFFFFFFF), Put32(b, 40, 0xFFFFFFFF);
  std::uint16_t permissions = n.isDir ? kFolderPermissions : kFilePermissions;
  if (!n.isDir && (n.info.st_mode & 0111)) permissions |= kExecutePermissions;
  Put32(b, 44, permissions);
  std::uint16_t links = 1;
  if (n.isDir)
    for (const auto& child : n.children) links += child->isDir;
  Put16(b, 48, links);
  const std::uint64_t length = n.isDir ? e.fidBytes : n.Size();
  Put64(b, 56, length);
  Put64(b, 64, Blocks(length));
  PutTime(b, 72, n.info.st_atime), PutTime(b, 84, n.info.st_mtime), PutTime(b, 96, n.info.st_ctime);
  Put32(b, 108, 1);
  PutImplementation(b, 128);
  Put64(b, 160, e.uniqueId);

  std::size_t ads = 0;
  auto addExtent = [&](std::uint32_t lengthBytes, std::uint32_t block) {
    Put32(b, kFileEntryHead + ads * kShortAd, lengthBytes);
    Put32(b, kFileEntryHead + ads * kShortAd + 4, block);
    ++ads;
  };
  if (n.isDir) {
    addExtent(e.fidBytes, e.fidBlock);
  } else if (length > 0) {
    const auto at = dataBlock.find(n.sameAs ? n.sameAs : &n);
    if (at == dataBlock.end()) {
      *error = "no file data was laid out for " + n.hostPath;
      return false;
    }
    std::uint32_t block = at->second - partitionStart_;
    for (std::uint64_t left = length; left > 0;) {
      if (kFileEntryHead + (ads + 1) * kShortAd > kBlock) {
        *error = n.hostPath + " is too large for one UDF file entry";
        return false;
      }
      const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, kMaxExtent));
      addExtent(piece, block);
      block += Blocks(piece);
      left -= piece;
    }
  }
  Put32(b, 172, static_cast<std::uint32_t>(ads * kShortAd));
  FinishTag(b, 0, kFileEntry, kFileEntryHead + ads * kShortAd, e.feBlock);
  return WriteBlock(file, partitionStart_ + e.feBlock, b, error);
}

bool UdfBridge::WriteIdentifiers(TargetFile& file, const Entry& folder, std::string* error) {
  const std::uint32_t blocks = Blocks(folder.fidBytes);
  Block b(std::size_t{blocks} * kBlock, 0);
  std::size_t at = 0;
  auto add = [&](std::uint8_t characteristics, const std::vector<std::uint8_t>& name, const Entry& target) {
    Put16(b, at + 16, 1);
    Put8(b, at + 18, characteristics);
    Put8(b, at + 19, static_cast<std::uint8_t>(name.size()));
    PutLongAd(b, at + 20, kBlock, target.feBlock, target.uniqueId);
    if (!name.empty()) std::memcpy(&b[at + kFidHead], name.data(), name.size());
    const std::uint32_t length = FidLength(name.size());
    FinishTag(b, at, kFileIdentifier, length, folder.fidBlock + static_cast<std::uint32_t>(at / kBlock));
    at += length;
  };
  add(kCharDirectory | kCharParent, {}, entries_[folder.parent]);
  for (const auto& child : folder.node->children)
    add(child->isDir ? kCharDirectory : 0, names_.at(child.get()), entries_[indexOf_.at(child.get())]);
  return file.WriteAt(b.data(), b.size(), std::uint64_t{partitionStart_ + folder.fidBlock} * kBlock, error);
}

}  // namespace oscdimg
