#include "tools/oscdimg/targetfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace oscdimg {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

// Repeats a positioned read or write until all of size is done; false on an
// error or when nothing more moves (end of file, full disk).
template <class Step>
bool Transfer(std::size_t size, std::uint64_t offset, Step step) {
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = step(done, size - done, offset + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

TargetFile::~TargetFile() { Discard(); }

bool TargetFile::Failed(const std::string& what, std::string* error) {
  *error = what + " " + path_ + ": " + std::strerror(errno);
  Discard();
  return false;
}

void TargetFile::Discard() {
  if (fd_ < 0) return;
  // Only a regular file that this run made or truncated is removed; a
  // device or pipe named as the target is left as it is.
  struct stat info {};
  const bool regular = fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
  close(fd_);
  fd_ = -1;
  if (regular && created_) unlink(path_.c_str());
}

bool TargetFile::Open(const std::string& path, std::string* error) {
  path_ = path;
  // A new file only: never truncate, and never write through a link,
  // whatever appeared under the name since it was chosen.
  fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    const int saved = errno;
    *error = "cannot create the image file " + path_ + ": " +
             (saved == EEXIST ? std::string("a file of that name exists already") : std::strerror(saved));
    return false;
  }
  created_ = true;
  return true;
}

bool TargetFile::CheckRoom(std::uint64_t bytes, std::string* error) {
  struct statvfs fs {};
  if (fstatvfs(fd_, &fs) != 0) return Failed("cannot query the volume of", error);
  const std::uint64_t room = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
  if (room >= bytes) return true;
  *error = "not enough room for " + path_ + ": the image needs " + std::to_string((bytes + kMiB - 1) / kMiB) +
           " MiB, the volume has " + std::to_string(room / kMiB) + " MiB free";
  Discard();
  return false;
}

bool TargetFile::WriteAt(const void* data, std::size_t size, std::uint64_t offset, std::string* error) {
  const char* p = static_cast<const char*>(data);
  const bool ok = Transfer(size, offset, [&](std::size_t done, std::size_t n, std::uint64_t at) {
    return pwrite(fd_, p + done, n, static_cast<off_t>(at));
  });
  return ok || Failed("cannot write", error);
}

bool TargetFile::ReadAt(void* data, std::size_t size, std::uint64_t offset, std::string* error) {
  char* p = static_cast<char*>(data);
  const bool ok = Transfer(size, offset, [&](std::size_t done, std::size_t n, std::uint64_t at) {
    return pread(fd_, p + done, n, static_cast<off_t>(at));
  });
  return ok || Failed("cannot read back", error);
}

bool TargetFile::Commit(std::string* error) {
  const int fd = fd_;
  fd_ = -1;
  // The image reaches its disk once, whole, before anyone verifies or
  // publishes it: a medium that lost some of its writes says so here.
  if (fsync(fd) != 0 && errno != EINVAL) {
    const int saved = errno;
    close(fd);
    unlink(path_.c_str());
    errno = saved;
    *error = "cannot write out " + path_ + ": " + std::strerror(errno);
    return false;
  }
  if (close(fd) != 0) {
    const int saved = errno;
    unlink(path_.c_str());
    errno = saved;
    *error = "cannot finish " + path_ + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace oscdimg
