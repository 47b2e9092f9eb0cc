#include "verify/isoproduct.h"

#include <libisofs/libisofs.h>

#include <cstdlib>
#include <mutex>
#include <vector>

namespace verify {

namespace {

constexpr std::size_t kBlockBytes = 2048;
constexpr std::size_t kChunkBytes = 1 << 20;

void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    iso_init();
    iso_set_local_charset(const_cast<char*>("UTF-8"), 0);
    // The image under test may well be damaged: its complaints are ours to
    // report, not libisofs's to print.
    iso_set_msgs_severities(const_cast<char*>("NEVER"), const_cast<char*>("NEVER"), const_cast<char*>(""));
  });
}

int SourceOpen(IsoDataSource*) { return ISO_SUCCESS; }
int SourceClose(IsoDataSource*) { return ISO_SUCCESS; }
void SourceFree(IsoDataSource*) {}

int SourceRead(IsoDataSource* src, uint32_t lba, uint8_t* buffer) {
  auto* file = static_cast<UncachedFile*>(src->data);
  const std::int64_t n = file->ReadAt(static_cast<std::uint64_t>(lba) * kBlockBytes, buffer, kBlockBytes);
  return n == static_cast<std::int64_t>(kBlockBytes) ? ISO_SUCCESS : static_cast<int>(ISO_DATA_SOURCE_FAILURE);
}

}  // namespace

IsoProduct::IsoProduct() { InitLibrary(); }

IsoProduct::~IsoProduct() {
  if (image_) iso_image_unref(image_);
}

bool IsoProduct::Open(const std::string& hostPath, std::string& error) {
  file_ = std::make_unique<UncachedFile>();
  if (!file_->Open(hostPath)) {
    error = "cannot open " + hostPath;
    return false;
  }
  // libisofs frees the source with free() when the image lets go of it.
  auto* source = static_cast<IsoDataSource*>(calloc(1, sizeof(IsoDataSource)));
  if (!source) {
    error = "out of memory";
    return false;
  }
  source->refcount = 1;
  source->open = SourceOpen;
  source->close = SourceClose;
  source->read_block = SourceRead;
  source->free_data = SourceFree;
  source->data = file_.get();

  IsoReadOpts* opts = nullptr;
  if (iso_image_new("product", &image_) < 0 || iso_read_opts_new(&opts, 0) < 0) {
    iso_data_source_unref(source);
    error = "out of memory";
    return false;
  }
  iso_read_opts_set_preferjoliet(opts, 1);
  const int result = iso_image_import(image_, source, opts, nullptr);
  iso_read_opts_free(opts);
  iso_data_source_unref(source);  // the image keeps its own reference
  if (result < 0) {
    error = "no readable ISO 9660 file system in " + hostPath;
    return false;
  }
  Index(reinterpret_cast<IsoNode*>(iso_image_get_root(image_)), "");
  int boots = 0;
  ElToritoBootImage** images = nullptr;
  IsoFile** nodes = nullptr;
  if (iso_image_get_all_boot_imgs(image_, &boots, &images, &nodes, 0) == ISO_SUCCESS) {
    bootEntries_ = boots;
    free(images);
    free(nodes);
  }
  return true;
}

void IsoProduct::Index(IsoNode* dir, const std::string& prefix) {
  IsoDirIter* iter = nullptr;
  if (iso_dir_get_children(reinterpret_cast<IsoDir*>(dir), &iter) != ISO_SUCCESS) return;
  IsoNode* node = nullptr;
  while (iso_dir_iter_next(iter, &node) == 1) {
    const std::string path = prefix + iso_node_get_name(node);
    if (ISO_NODE_IS_DIR(node)) Index(node, path + "/");
    else if (ISO_NODE_IS_FILE(node)) files_[FoldPath(path)] = node;
  }
  iso_dir_iter_free(iter);
}

bool IsoProduct::HasFile(const std::string& relPath) const { return files_.count(FoldPath(relPath)) != 0; }

ReadStatus IsoProduct::ReadFile(const std::string& relPath, const ContentSink& sink) {
  const auto it = files_.find(FoldPath(relPath));
  if (it == files_.end()) return ReadStatus::Missing;
  IsoStream* stream = iso_file_get_stream(reinterpret_cast<IsoFile*>(it->second));
  if (!stream || iso_stream_open(stream) < 0) return ReadStatus::Failed;
  std::vector<unsigned char> chunk(kChunkBytes);
  ReadStatus status = ReadStatus::Ok;
  for (;;) {
    const int n = iso_stream_read(stream, chunk.data(), chunk.size());
    if (n < 0) {
      status = ReadStatus::Failed;
      break;
    }
    if (n == 0) break;
    if (!sink(chunk.data(), static_cast<std::size_t>(n))) {
      status = ReadStatus::Stopped;
      break;
    }
  }
  iso_stream_close(stream);
  return status;
}

}  // namespace verify
