#include "tools/oscdimg/tool.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <vector>

#include "platform/fs/paths.h"
#include "platform/text.h"
#include "tools/oscdimg/duplicates.h"
#include "tools/oscdimg/isoimagestream.h"
#include "tools/oscdimg/layoutcheck.h"
#include "tools/oscdimg/sourcetree.h"
#include "tools/oscdimg/targetfile.h"
#include "tools/oscdimg/targetplace.h"
#include "tools/oscdimg/udfbridge.h"

namespace oscdimg {
namespace {

constexpr int kBlock = 2048;
// The BIOS entry gets a boot-information table written into it at bytes 8 to
// 63, so its boot file must hold at least these.
constexpr off_t kBootInfoTableEnd = 64;
constexpr int kChunkBlocks = 64;  // 128 KiB per write

int Failure(std::FILE* err, const std::string& message) {
  std::fprintf(err, "oscdimg: error: %s\n", message.c_str());
  return kExitFailed;
}

// A path of the command line (a drive-letter path of the system, or a host
// path) as a host path.
bool HostPath(const std::string& path, std::string* host, std::string* error) {
  if (platform::ResolvePath(platform::WideFromAnsi(path), *host)) return true;
  *error = "cannot find the drive of " + path;
  return false;
}

bool ResolveBootFiles(const Options& options, std::vector<HostBootEntry>* boot, std::string* error) {
  for (const BootEntry& entry : options.boot) {
    HostBootEntry host;
    host.platformId = entry.platformId;
    if (!HostPath(entry.file, &host.hostPath, error)) return false;
    // Absolute, because the image library takes files by absolute path.
    if (char* real = realpath(host.hostPath.c_str(), nullptr)) {
      host.hostPath = real;
      std::free(real);
    }
    struct stat info {};
    if (stat(host.hostPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || access(host.hostPath.c_str(), R_OK) != 0) {
      *error = "the boot file " + entry.file + " does not exist or cannot be read";
      return false;
    }
    if (info.st_size == 0) {
      *error = "the boot file " + entry.file + " is empty";
      return false;
    }
    if (boot->empty() && info.st_size < kBootInfoTableEnd) {
      *error = "the BIOS boot file " + entry.file + " holds " + std::to_string(info.st_size) +
               " bytes; a boot image with a boot-information table needs at least " +
               std::to_string(kBootInfoTableEnd);
      return false;
    }
    boot->push_back(host);
  }
  return true;
}

// Streams the image into the target, reporting the share written.
bool StreamImage(IsoImageStream& image, TargetFile& target, std::uint64_t offset, std::uint64_t total,
                 const ProgressSink& progress, std::string* error) {
  std::vector<unsigned char> buffer(kBlock * kChunkBlocks);
  std::uint64_t done = 0;
  while (done < image.Size()) {
    // Exactly what is left at the end: libisofs reports the end of the
    // stream, not a short read, for a request that reaches past it.
    const int want = static_cast<int>(std::min<std::uint64_t>(buffer.size(), image.Size() - done));
    const long n = image.Read(buffer.data(), want);
    if (n != want) {
      *error = "the image could not be completed (a source file could not be read)";
      return false;
    }
    if (!target.WriteAt(buffer.data(), static_cast<std::size_t>(n), offset + done, error)) return false;
    done += static_cast<std::uint64_t>(n);
    // 100 is kept for the finished file.
    progress(static_cast<int>(std::min<std::uint64_t>(99, (offset + done) * 100 / total)));
  }
  return true;
}

}  // namespace

ProgressSink CompleteLines(std::FILE* out) {
  auto last = std::make_shared<int>(-1);
  return [out, last](int percent) {
    if (percent <= *last) return;
    *last = percent;
    std::fprintf(out, "%3d%% complete\n", percent);
    std::fflush(out);
  };
}

int RunTool(const Options& options, const ProgressSink& progress, std::FILE* err) {
  std::string error, source, target;
  if (!HostPath(options.source, &source, &error) || !HostPath(options.target, &target, &error))
    return Failure(err, error);
  // The image must never overwrite or land in what it is made of.
  if (!TargetOutsideSource(source, target, &error)) return Failure(err, error);
  std::vector<HostBootEntry> boot;
  if (!ResolveBootFiles(options, &boot, &error)) return Failure(err, error);

  SourceTree tree;
  if (!ReadSourceTree(source, &tree, &error)) return Failure(err, error);
  if (options.storeDuplicatesOnce) {
    SharingResult shared;
    if (!ShareIdenticalFiles(&tree, &shared, &error)) return Failure(err, error);
  }

  const std::string label = options.label.empty() ? "CDROM" : options.label;
  UdfBridge bridge;
  std::uint32_t start = 0;
  if (options.udf) {
    if (!bridge.Plan(tree, label, std::time(nullptr), &error)) return Failure(err, error);
    start = bridge.ImageStart();
  }

  IsoLibrary library;
  if (!library.ok()) return Failure(err, "cannot start the ISO library");
  auto image = IsoImageStream::Build(tree, label, boot, start, &error);
  if (!image || !image->Start(&error)) return Failure(err, error);
  const std::uint64_t offset = std::uint64_t{start} * kBlock;
  const std::uint64_t total = offset + image->Size();

  TargetFile file;
  if (!file.Open(target, &error) || !file.CheckRoom(total, &error)) return Failure(err, error);
  progress(0);
  if (!StreamImage(*image, file, offset, total, progress, &error)) return Failure(err, error);
  // The library pads a file that came up short with zeros and goes on: a
  // file that changed while it was read fails the image.
  if (!SourceFilesUnchanged(tree, &error)) return Failure(err, error);
  if (options.udf) {
    auto blocks = image->FileBlocks(tree);
    std::vector<unsigned char> head = image->HeadBlocks();
    if (!ConfirmLayout(file, &blocks, &error) ||
        !bridge.Write(file, head, blocks, static_cast<std::uint32_t>(total / kBlock), &error) ||
        !file.WriteAt(head.data(), head.size(), 0, &error))
      return Failure(err, error);
  }
  if (!file.Commit(&error)) return Failure(err, error);
  progress(100);
  return kExitSuccess;
}

}  // namespace oscdimg
