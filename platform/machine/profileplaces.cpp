#include "platform/machine/profileplaces.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/invoker/invoker.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

std::string AsUser(const std::string& what, int error) {
  return what + " cannot be opened as user " + std::to_string(invoker::InvokerUid().value_or(::geteuid())) + ": " +
         std::strerror(error);
}

bool OwnedByUs(uid_t uid) { return uid == 0 || uid == ::geteuid(); }

}  // namespace

int OpenPrefixFile(const std::string& path, int flags, unsigned mode) {
  flags |= O_NOFOLLOW | O_CLOEXEC;
  return CurrentMachine().InvokersPrefix() ? invoker::Open(path, flags, mode) : ::open(path.c_str(), flags, mode);
}

bool ReplacePrefixFile(const std::string& path, const std::string& text) {
  constexpr unsigned kRecordMode = 0644;
  const std::string fresh = path + ".new";
  invoker::Fd fd(OpenPrefixFile(fresh, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK, kRecordMode));
  struct stat st {};
  if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd.get(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd.get()) != 0 || ::close(fd.Release()) != 0) return false;
  return ::rename(fresh.c_str(), path.c_str()) == 0;
}

bool IsInvokersPrefix(const std::string& prefix) {
  const auto uid = invoker::InvokerUid();
  struct stat st {};
  return uid && ::stat(prefix.c_str(), &st) == 0 && st.st_uid == *uid;
}

std::string HoldInvokersDiskImage(DiskDecl& disk) {
  invoker::Fd fd(invoker::Open(disk.image, O_RDWR | O_NONBLOCK));
  if (!fd) return AsUser("the disk image " + disk.image, errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return "the disk image " + disk.image + ": " + std::strerror(errno);
  if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode))
    return "the disk image " + disk.image + " is not a regular file or a block device";
  ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  disk.heldPath = invoker::DescriptorPath(fd.get());
  disk.held = std::make_shared<const invoker::Fd>(std::move(fd));
  return {};
}

std::string CheckInvokersFolder(const std::string& folder, bool write) {
  fs::path at = fs::path(folder).lexically_normal();
  for (;;) {
    invoker::Fd fd(invoker::Open(at.string(), O_RDONLY | O_DIRECTORY));
    if (!fd && errno == ENOENT && at.has_relative_path()) {
      at = at.parent_path();
      continue;
    }
    if (!fd) return AsUser("the folder " + at.string(), errno);
    if (write && !invoker::MayWriteFolder(fd.get()))
      return "the folder " + at.string() + " cannot be written by user " +
             std::to_string(invoker::InvokerUid().value_or(::geteuid()));
    return {};
  }
}

std::string CheckInvokersFile(const std::string& file) {
  invoker::Fd fd(invoker::Open(file, O_RDONLY | O_NONBLOCK));
  if (!fd) return AsUser("the file " + file, errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return "the file " + file + " is not a regular file";
  return {};
}

std::string CheckSystemPlace(const std::string& place) {
  const fs::path given = fs::path(place).lexically_normal();
  // Links on the way as spelled: one of another user could be turned to
  // another place at any time.
  fs::path at, existing;
  for (const fs::path& part : given) {
    at /= part;
    struct stat st {};
    if (::lstat(at.c_str(), &st) != 0) {
      if (errno == ENOENT) break;
      return at.string() + ": " + std::strerror(errno);
    }
    if (S_ISLNK(st.st_mode) && !OwnedByUs(st.st_uid))
      return at.string() + " is a link of user " + std::to_string(st.st_uid);
    existing = at;
  }
  std::error_code ec;
  const fs::path resolved = fs::canonical(existing.empty() ? fs::path("/") : existing, ec);
  if (ec) return existing.string() + ": " + ec.message();
  fs::path folder;
  for (const fs::path& part : resolved) {
    folder /= part;
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) return folder.string() + ": " + std::strerror(errno);
    if (!OwnedByUs(st.st_uid)) return folder.string() + " belongs to user " + std::to_string(st.st_uid);
    const bool othersWrite = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    const bool sticky = S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0;
    if (othersWrite && (!sticky || folder == resolved)) return folder.string() + " can be written by other users";
  }
  return {};
}

}  // namespace platform
