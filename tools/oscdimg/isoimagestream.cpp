#include "tools/oscdimg/isoimagestream.h"

#include <sys/stat.h>

#include <cstdlib>
#include <map>

#include "tools/oscdimg/libisofs.h"

namespace oscdimg {
namespace {

constexpr int kHiddenEverywhere = LIBISO_HIDE_ON_RR | LIBISO_HIDE_ON_JOLIET | LIBISO_HIDE_ON_1999 |
                                  LIBISO_HIDE_ON_HFSPLUS | LIBISO_HIDE_ON_FAT;
constexpr short kBiosLoadSectors = 4;
constexpr std::size_t kHeadBytes = 64 * 1024;
// Distinct sort weights, boot images above all files; the differences stay
// within int (libisofs compares weights by subtraction).
constexpr int kFirstFileWeight = 1 << 30;
constexpr std::uint64_t kBlockBytes = 2048;
// Room behind the image for the bridge's anchors at N-256 and N (the last block).
constexpr std::uint32_t kBridgeTailBlocks = 257;

std::string LibraryError(const char* what, int code) {
  const char* text = iso_error_to_msg(code);
  return std::string(what) + ": " + (text ? text : "libisofs error " + std::to_string(code));
}

void CopyAttributes(IsoNode* node, const struct stat& info) {
  iso_node_set_permissions(node, info.st_mode & 07777);
  iso_node_set_uid(node, info.st_uid);
  iso_node_set_gid(node, info.st_gid);
  iso_node_set_mtime(node, info.st_mtime);
  iso_node_set_atime(node, info.st_atime);
  iso_node_set_ctime(node, info.st_ctime);
}

class TreeAdder {
 public:
  // With ordered set, every file gets a sort weight that lays its data out
  // in tree order behind anything weighted higher.
  TreeAdder(::IsoImage* image, bool ordered, std::string* error) : image_(image), ordered_(ordered), error_(error) {}

  bool AddChildren(const SourceNode& folder, IsoDir* dir) {
    for (const auto& child : folder.children) {
      if (child->isDir) {
        IsoDir* sub = nullptr;
        int r = iso_tree_add_new_dir(dir, child->name.c_str(), &sub);
        if (r < 0) return Fail(*child, r);
        CopyAttributes(reinterpret_cast<IsoNode*>(sub), child->info);
        if (!AddChildren(*child, sub)) return false;
      } else if (!AddFile(*child, dir)) {
        return false;
      }
    }
    return true;
  }

 private:
  bool AddFile(const SourceNode& file, IsoDir* dir) {
    if (file.sameAs) {
      // Same stream object, so libisofs writes the data once and both
      // directory records point at it.
      IsoStream* stream = iso_file_get_stream(added_.at(file.sameAs));
      iso_stream_ref(stream);
      IsoFile* node = nullptr;
      int r = iso_tree_add_new_file(dir, file.name.c_str(), stream, &node);
      if (r < 0) {
        iso_stream_unref(stream);
        return Fail(file, r);
      }
      CopyAttributes(reinterpret_cast<IsoNode*>(node), file.info);
      if (ordered_) iso_node_set_sort_weight(reinterpret_cast<IsoNode*>(node), weights_.at(file.sameAs));
      return true;
    }
    IsoNode* node = nullptr;
    int r = iso_tree_add_new_node(image_, dir, file.name.c_str(), file.hostPath.c_str(), &node);
    if (r < 0) return Fail(file, r);
    if (iso_node_get_type(node) != LIBISO_FILE) {
      *error_ = "cannot add " + file.hostPath + ": not a regular file";
      return false;
    }
    added_[&file] = reinterpret_cast<IsoFile*>(node);
    if (ordered_) {
      weights_[&file] = nextWeight_;
      iso_node_set_sort_weight(node, nextWeight_--);
    }
    return true;
  }

  bool Fail(const SourceNode& node, int code) {
    *error_ = LibraryError(("cannot add " + node.hostPath).c_str(), code);
    return false;
  }

  ::IsoImage* image_;
  bool ordered_;
  std::string* error_;
  std::map<const SourceNode*, IsoFile*> added_;
  std::map<const SourceNode*, int> weights_;
  int nextWeight_ = kFirstFileWeight;
};

// A name in the root that no source entry uses, for a hidden node.
std::string FreeRootName(IsoDir* root, const std::string& base) {
  std::string name = base;
  for (int n = 1; iso_dir_get_node(root, name.c_str(), nullptr) == 1; ++n) name = base + "." + std::to_string(n);
  return name;
}

}  // namespace

IsoLibrary::IsoLibrary() {
  ok_ = iso_init() >= 0;
  if (!ok_) return;
  iso_set_local_charset(const_cast<char*>("UTF-8"), 0);
  iso_set_msgs_severities(const_cast<char*>("NEVER"), const_cast<char*>("SORRY"), const_cast<char*>("oscdimg : "));
  iso_set_abort_severity(const_cast<char*>("SORRY"));
}

IsoLibrary::~IsoLibrary() {
  if (ok_) iso_finish();
}

IsoImageStream::~IsoImageStream() {
  StopStream();
  if (opts_) iso_write_opts_free(opts_);
  if (image_) iso_image_unref(image_);
}

std::unique_ptr<IsoImageStream> IsoImageStream::Build(const SourceTree& tree, const std::string& label,
                                          const std::vector<HostBootEntry>& boot, std::uint32_t startBlock,
                                          std::string* error) {
  std::unique_ptr<IsoImageStream> self(new IsoImageStream());
  int r = iso_image_new(label.c_str(), &self->image_);
  if (r < 0) {
    *error = LibraryError("cannot make the image", r);
    return nullptr;
  }
  // The tree was read with links followed; the image takes their targets too.
  iso_tree_set_follow_symlinks(self->image_, 1);
  IsoDir* root = iso_image_get_root(self->image_);
  CopyAttributes(reinterpret_cast<IsoNode*>(root), tree.root->info);
  const bool ordered = startBlock > 0;
  TreeAdder adder(self->image_, ordered, error);
  if (!adder.AddChildren(*tree.root, root)) return nullptr;

  if (!self->AddBootEntries(root, boot, ordered, error) || !self->SetWriteOptions(startBlock, error)) return nullptr;
  return self;
}

bool IsoImageStream::AddBootEntries(IsoDir* root, const std::vector<HostBootEntry>& boot, bool ordered,
                                    std::string* error) {
  int r = 0;
  std::string catalogPath;
  for (std::size_t i = 0; i < boot.size(); ++i) {
    const std::string name = FreeRootName(root, i == 0 ? "boot.bios.img" : "boot.uefi.img");
    IsoNode* node = nullptr;
    r = iso_tree_add_new_node(image_, root, name.c_str(), boot[i].hostPath.c_str(), &node);
    if (r < 0) {
      *error = LibraryError(("cannot add the boot file " + boot[i].hostPath).c_str(), r);
      return false;
    }
    iso_node_set_hidden(node, kHiddenEverywhere | LIBISO_HIDE_BUT_WRITE);
    if (ordered) iso_node_set_sort_weight(node, kFirstFileWeight + static_cast<int>(boot.size() - i));
    struct stat info {};
    stat(boot[i].hostPath.c_str(), &info);
    bootSizes_.push_back(static_cast<std::uint64_t>(info.st_size));
    ElToritoBootImage* entry = nullptr;
    const std::string path = "/" + name;
    if (i == 0) {
      catalogPath = "/" + FreeRootName(root, "boot.catalog");
      r = iso_image_set_boot_image(image_, path.c_str(), ELTORITO_NO_EMUL, catalogPath.c_str(), &entry);
    } else {
      r = iso_image_add_boot_image(image_, path.c_str(), ELTORITO_NO_EMUL, 0, &entry);
    }
    if (r < 0) {
      *error = LibraryError(("cannot use the boot file " + boot[i].hostPath).c_str(), r);
      return false;
    }
    el_torito_set_boot_platform_id(entry, boot[i].platformId);
    if (i == 0) {
      el_torito_set_load_size(entry, kBiosLoadSectors);
      el_torito_set_isolinux_options(entry, 1, 0);  // the boot-info table
    } else {
      el_torito_set_full_load(entry, 1);
    }
  }
  if (!boot.empty()) {
    iso_image_set_boot_catalog_hidden(image_, kHiddenEverywhere);
    // The catalog goes in front of all file data: UDF readers take what
    // follows the last file's data for the end of the volume.
    if (ordered) iso_image_set_boot_catalog_weight(image_, kFirstFileWeight + 3);
  }

  return true;
}

bool IsoImageStream::SetWriteOptions(std::uint32_t startBlock, std::string* error) {
  const int r = iso_write_opts_new(&opts_, 0);
  if (r < 0) {
    *error = LibraryError("cannot set up the image", r);
    return false;
  }
  IsoWriteOpts* o = opts_;
  iso_write_opts_set_iso_level(o, 3);
  iso_write_opts_set_joliet(o, 1);
  iso_write_opts_set_joliet_long_names(o, 1);
  iso_write_opts_set_joliet_longer_paths(o, 1);
  iso_write_opts_set_allow_deep_paths(o, 1);
  iso_write_opts_set_allow_longer_paths(o, 1);
  // Joliet names without ";1" and without a forced dot: loaders that read
  // Joliet look for "bootmgr", not "bootmgr.;1".
  iso_write_opts_set_omit_version_numbers(o, 2);
  iso_write_opts_set_no_force_dots(o, 2);
  if (startBlock > 0) {
    head_.assign(kHeadBytes, 0);
    iso_write_opts_set_ms_block(o, startBlock);
    iso_write_opts_set_overwrite_buf(o, head_.data());
    iso_write_opts_set_sort_files(o, 1);
    iso_write_opts_set_tail_blocks(o, kBridgeTailBlocks);
  }
  return true;
}

bool IsoImageStream::Start(std::string* error) {
  int r = iso_image_create_burn_source(image_, opts_, &stream_);
  if (r < 0) {
    stream_ = nullptr;
    *error = LibraryError("cannot start the image", r);
    return false;
  }
  size_ = static_cast<std::uint64_t>(stream_->get_size(stream_));
  return true;
}

long IsoImageStream::Read(unsigned char* buffer, int size) {
  auto read = stream_->read_xt ? stream_->read_xt : stream_->read;
  return read(stream_, buffer, size);
}

std::uint32_t IsoImageStream::DataStart() const {
  uint32_t start = 0;
  return iso_write_opts_get_data_start(opts_, &start, 0) == 1 ? start : 0;
}

std::map<const SourceNode*, std::uint32_t> IsoImageStream::FileBlocks(const SourceTree& tree) const {
  std::map<const SourceNode*, std::uint32_t> blocks;
  std::uint64_t next = DataStart();
  for (std::uint64_t size : bootSizes_) next += (size + kBlockBytes - 1) / kBlockBytes;
  for (const SourceNode* file : FilesOf(tree)) {
    if (file->sameAs) continue;
    blocks[file] = static_cast<std::uint32_t>(next);
    next += (file->Size() + kBlockBytes - 1) / kBlockBytes;
  }
  return blocks;
}

void IsoImageStream::StopStream() {
  if (!stream_) return;
  // Stops libisofs' writer thread if the stream was not read to its end.
  if (stream_->version > 0 && stream_->cancel) stream_->cancel(stream_);
  if (--stream_->refcount < 1) {
    stream_->free_data(stream_);
    std::free(stream_);
  }
  stream_ = nullptr;
}

}  // namespace oscdimg
