#include "platform/fs/filereader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fs/imagefiles.h"
#include "platform/fs/paths.h"
#include "platform/lasterror.h"
#include "platform/uniquefd.h"

namespace platform {

class FileReader::Impl {
 public:
  UniqueFd fd;
  std::uint64_t size = 0;
  std::shared_ptr<image::ImageVolume> volume;  // keeps the image open while its file is read
  std::unique_ptr<image::ImageVolume::Reader> image;
};

FileReader::FileReader() = default;
FileReader::~FileReader() = default;

bool FileReader::Open(std::wstring_view path) {
  impl_ = std::make_unique<Impl>();
  auto fail = [this](DWORD error) {
    impl_.reset();
    SetLastError(error);
    return false;
  };
  ImageLocation where;
  switch (LocateImagePath(path, where)) {
    case ImageLookup::kFailed: return fail(GetLastError());
    case ImageLookup::kFound: {
      if (where.node < 0) return fail(where.folderMissing ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
      if (where.volume->tree().nodes[static_cast<std::size_t>(where.node)].folder) return fail(ERROR_ACCESS_DENIED);
      impl_->image = where.volume->OpenFile(where.node);
      if (!impl_->image) return fail(ERROR_READ_FAULT);
      impl_->volume = where.volume;
      impl_->size = impl_->image->Size();
      return true;
    }
    case ImageLookup::kNotImage: break;
  }
  std::string host;
  if (!ResolvePath(path, host)) return fail(GetLastError());
  impl_->fd.reset(::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!impl_->fd) return fail(errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
  struct stat st;
  if (::fstat(impl_->fd.get(), &st) != 0) return fail(ErrorFromErrno(errno));
  if (S_ISDIR(st.st_mode)) return fail(ERROR_ACCESS_DENIED);
  if (!S_ISREG(st.st_mode)) return fail(ERROR_BAD_FILE_TYPE);
  ::fcntl(impl_->fd.get(), F_SETFL, ::fcntl(impl_->fd.get(), F_GETFL) & ~O_NONBLOCK);
  impl_->size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

std::uint64_t FileReader::Size() const { return impl_ ? impl_->size : 0; }

std::int64_t FileReader::Read(void* buffer, std::size_t n) {
  if (!impl_) {
    SetLastError(ERROR_INVALID_HANDLE);
    return -1;
  }
  if (impl_->image) {
    const std::int64_t got = impl_->image->Read(buffer, n);
    if (got < 0) SetLastError(ERROR_READ_FAULT);
    return got;
  }
  for (;;) {
    const ssize_t got = ::read(impl_->fd.get(), buffer, n);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) SetLastError(ErrorFromErrno(errno));
    return got;
  }
}

}  // namespace platform
