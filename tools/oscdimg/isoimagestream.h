#pragma once
// The ISO 9660 image on libisofs: level 3 (files of 4 GiB and more in
// several extents), Joliet long names, El Torito boot entries, identical
// files stored once where the tree says so. The image is produced as a
// stream of 2 KiB blocks; nothing is buffered beyond libisofs' ring buffer.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tools/oscdimg/sourcetree.h"

struct Iso_Image;
struct Iso_Dir;
struct iso_write_opts;
struct burn_source;

namespace oscdimg {

struct HostBootEntry {
  std::uint8_t platformId = 0;  // 0x00 BIOS, 0xEF UEFI
  std::string hostPath;
};

// libisofs' process-wide state, set up for this tool: names are UTF-8,
// problems are printed on standard error, and an unreadable source file
// stops the image instead of being filled with zeros.
class IsoLibrary {
 public:
  IsoLibrary();
  ~IsoLibrary();
  IsoLibrary(const IsoLibrary&) = delete;
  IsoLibrary& operator=(const IsoLibrary&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

class IsoImageStream {
 public:
  ~IsoImageStream();
  IsoImageStream(const IsoImageStream&) = delete;
  IsoImageStream& operator=(const IsoImageStream&) = delete;

  // Lays out the image of the tree. The first boot entry is the BIOS
  // no-emulation entry (4 sectors loaded, boot-info table patched in), a
  // second the UEFI entry (platform 0xEF, the whole image loaded); both
  // images and the boot catalog are hidden from the directory trees.
  // startBlock > 0 places the image at that block of the file, for a UDF
  // bridge in front of it: the first 32 blocks (system area and volume
  // descriptors) are then delivered by HeadBlocks() and written at the start
  // by the caller, the image ends in 257 spare blocks (for the bridge's
  // anchors at N-256 and N), and file data is laid out in a fixed order (the boot images,
  // then the files in tree order) that FileBlocks() reports. Null with a
  // message on failure.
  static std::unique_ptr<IsoImageStream> Build(const SourceTree& tree, const std::string& label,
                                         const std::vector<HostBootEntry>& boot, std::uint32_t startBlock,
                                         std::string* error);

  // Starts producing the stream; Size() is then its length in bytes.
  bool Start(std::string* error);
  std::uint64_t Size() const { return size_; }
  // Reads the next bytes of the stream: size must be a multiple of 2048.
  // Returns the bytes read, 0 at the end, -1 on failure.
  long Read(unsigned char* buffer, int size);
  // The first block of file data, valid after Start().
  std::uint32_t DataStart() const;
  // With startBlock > 0, after Start(): the first block of every file of
  // the tree that carries its own data (identical files: the first of them)
  // as laid out from the start of file data; libisofs may keep a few blocks
  // of its own in front (ConfirmLayout finds them).
  std::map<const SourceNode*, std::uint32_t> FileBlocks(const SourceTree& tree) const;
  // The 64 KiB that belong at block 0 when startBlock > 0 (complete once the
  // stream has been read to its end).
  const std::vector<unsigned char>& HeadBlocks() const { return head_; }

 private:
  IsoImageStream() = default;
  bool AddBootEntries(Iso_Dir* root, const std::vector<HostBootEntry>& boot, bool ordered, std::string* error);
  bool SetWriteOptions(std::uint32_t startBlock, std::string* error);
  void StopStream();

  Iso_Image* image_ = nullptr;
  iso_write_opts* opts_ = nullptr;
  burn_source* stream_ = nullptr;
  std::uint64_t size_ = 0;
  std::vector<unsigned char> head_;
  std::vector<std::uint64_t> bootSizes_;
};

}  // namespace oscdimg
