#include "platform/fs/imagefiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/fs/dirnames.h"
#include "platform/fs/paths.h"
#include "platform/lasterror.h"
#include "platform/machine/machine.h"
#include "platform/text.h"

namespace platform {

namespace {

constexpr std::size_t kCopyBufferBytes = 1024 * 1024;

bool IsSep(wchar_t c) { return c == L'\\' || c == L'/'; }

bool Fail(DWORD error) {
  SetLastError(error);
  return false;
}

DWORD Attributes(const image::Node& node) {
  // Everything on a disc is read-only, as the system shows a CD-ROM's files.
  return FILE_ATTRIBUTE_READONLY | (node.folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE);
}

FindData Entry(const image::Node& node, std::wstring name) {
  FindData fd;
  fd.attributes = Attributes(node);
  fd.size = node.folder ? 0 : node.size;
  fd.name = std::move(name);
  return fd;
}

}  // namespace

ImageLookup LocateImagePath(std::wstring_view path, ImageLocation& where) {
  where = ImageLocation{};
  std::wstring_view rest = path;
  if (rest.size() >= 4 && IsSep(rest[0]) && IsSep(rest[1]) && (rest[2] == L'?' || rest[2] == L'.') && IsSep(rest[3]))
    rest.remove_prefix(4);
  const wchar_t letter = DriveLetterOf(rest);
  if (!letter) return ImageLookup::kNotImage;
  const auto drive = CurrentMachine().Drive(letter);
  if (!drive || drive->image.empty()) return ImageLookup::kNotImage;
  if (path.find(L'\0') != std::wstring_view::npos) return Fail(ERROR_INVALID_NAME), ImageLookup::kFailed;
  if (!drive->ready) return Fail(ERROR_NOT_READY), ImageLookup::kFailed;
  std::string error;
  where.volume = image::OpenSharedVolume(drive->image, error, drive->invokersImage);
  if (!where.volume) return Fail(ERROR_NOT_READY), ImageLookup::kFailed;
  rest.remove_prefix(2);
  std::vector<std::wstring> parts;
  std::size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && IsSep(rest[i])) ++i;
    std::size_t j = i;
    while (j < rest.size() && !IsSep(rest[j])) ++j;
    if (j == i) break;
    const std::wstring_view part = rest.substr(i, j - i);
    i = j;
    if (part == L".") continue;
    if (part == L"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.emplace_back(part);
  }
  where.root = parts.empty();
  where.node = where.volume->Find(parts, &where.folderMissing);
  return ImageLookup::kFound;
}

bool ImageListFolder(const ImageLocation& where, std::vector<FindData>& out) {
  out.clear();
  if (where.node < 0) return Fail(ERROR_PATH_NOT_FOUND);
  const auto& nodes = where.volume->tree().nodes;
  const image::Node& folder = nodes[static_cast<std::size_t>(where.node)];
  if (!folder.folder) return Fail(ERROR_PATH_NOT_FOUND);
  if (!where.root) {
    out.push_back(Entry(folder, L"."));
    out.push_back(Entry(folder, L".."));
  }
  for (const auto& [key, index] : folder.children) out.push_back(Entry(nodes[index], WideFromAnsi(nodes[index].name)));
  return true;
}

DWORD ImageAttributes(const ImageLocation& where) {
  if (where.node < 0) {
    SetLastError(where.folderMissing ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  return Attributes(where.volume->tree().nodes[static_cast<std::size_t>(where.node)]);
}

bool ImageFileSize(const ImageLocation& where, std::uint64_t& size) {
  size = 0;
  if (where.node < 0) return Fail(where.folderMissing ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
  const image::Node& node = where.volume->tree().nodes[static_cast<std::size_t>(where.node)];
  if (node.folder) return Fail(ERROR_ACCESS_DENIED);
  size = node.size;
  return true;
}

DWORD ImageReadWholeFile(const ImageLocation& where, std::string& bytes, std::size_t maxBytes) {
  bytes.clear();
  auto result = [](DWORD e) {
    SetLastError(e);
    return e;
  };
  if (where.node < 0) return result(where.folderMissing ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
  const image::Node& node = where.volume->tree().nodes[static_cast<std::size_t>(where.node)];
  if (node.folder) return result(ERROR_DIRECTORY_NOT_SUPPORTED);
  if (node.size > maxBytes) return result(ERROR_FILE_TOO_LARGE);
  auto reader = where.volume->OpenFile(where.node);
  if (!reader) return result(ERROR_READ_FAULT);
  bytes.resize(static_cast<std::size_t>(node.size));
  std::size_t have = 0;
  while (have < bytes.size()) {
    const std::int64_t n = reader->Read(bytes.data() + have, bytes.size() - have);
    if (n <= 0) {
      bytes.clear();
      return result(ERROR_READ_FAULT);
    }
    have += static_cast<std::size_t>(n);
  }
  return result(ERROR_SUCCESS);
}

bool ImageCopyFile(const ImageLocation& from, const std::string& dst, LPPROGRESS_ROUTINE progress, void* data,
                   bool* cancel, DWORD flags) {
  if (from.node < 0) return Fail(from.folderMissing ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
  const image::Node& node = from.volume->tree().nodes[static_cast<std::size_t>(from.node)];
  if (node.folder) return Fail(ERROR_ACCESS_DENIED);
  auto reader = from.volume->OpenFile(from.node);
  if (!reader) return Fail(ERROR_READ_FAULT);

  // A new file in the target's place: an existing one (read-only too) is
  // removed first, a link as a link, never written through.
  dirnames::Change change(dst);
  int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (out < 0 && errno == EEXIST) {
    struct stat st;
    if (flags & COPY_FILE_FAIL_IF_EXISTS) return Fail(ERROR_FILE_EXISTS);
    if (::lstat(dst.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
    if (::unlink(dst.c_str()) != 0) return Fail(ErrorFromErrno(errno));
    out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
  }
  if (out < 0) return Fail(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
  change.Added();

  const auto total = static_cast<std::int64_t>(node.size);
  std::int64_t done = 0;
  auto abandon = [&](DWORD error) {
    ::close(out);
    dirnames::Change removal(dst);
    if (::unlink(dst.c_str()) == 0) removal.Removed();
    return Fail(error);
  };
  auto report = [&](DWORD reason) -> DWORD {
    if (cancel && *cancel) return PROGRESS_CANCEL;
    if (!progress) return PROGRESS_CONTINUE;
    return progress(total, done, total, done, 1, reason, nullptr, reinterpret_cast<HANDLE>(static_cast<intptr_t>(out)), data);
  };
  auto stops = [](DWORD answer) { return answer == PROGRESS_CANCEL || answer == PROGRESS_STOP; };
  DWORD answer = report(CALLBACK_STREAM_SWITCH);
  if (stops(answer)) return abandon(ERROR_REQUEST_ABORTED);
  bool quiet = answer == PROGRESS_QUIET;

  thread_local std::unique_ptr<char[]> buffer;
  if (!buffer) buffer = std::make_unique<char[]>(kCopyBufferBytes);
  std::uint64_t chunk = 0;
  while (done < total) {
    const std::int64_t n = reader->CopyTo(out, static_cast<std::size_t>(std::min<std::int64_t>(total - done, kCopyChunkBytes - chunk)),
                                          buffer.get(), kCopyBufferBytes);
    if (n == 0 || n == image::ImageVolume::Reader::kImageFailed)
      return abandon(ERROR_READ_FAULT);  // the image ended or failed inside a file
    if (n < 0) return abandon(ErrorFromErrno(errno));
    done += n;
    chunk += static_cast<std::uint64_t>(n);
    if (chunk < kCopyChunkBytes && done < total) continue;
    chunk = 0;
    if (quiet) {
      if (cancel && *cancel) return abandon(ERROR_REQUEST_ABORTED);
      continue;
    }
    answer = report(CALLBACK_CHUNK_FINISHED);
    if (stops(answer)) return abandon(ERROR_REQUEST_ABORTED);
    quiet = answer == PROGRESS_QUIET;
  }
  const struct timespec times[2] = {{node.mtime, 0}, {node.mtime, 0}};
  ::futimens(out, times);
  // The read-only attribute travels with the file, as from any disc.
  ::fchmod(out, 0444);
  if (::close(out) != 0) {
    const DWORD e = ErrorFromErrno(errno);
    dirnames::Change removal(dst);
    if (::unlink(dst.c_str()) == 0) removal.Removed();
    return Fail(e);
  }
  return true;
}

}  // namespace platform
