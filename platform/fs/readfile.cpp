#include "platform/fs/readfile.h"

#include "platform/fs/filereader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "platform/lasterror.h"
#include "platform/fs/filereader.h"
#include "platform/fs/imagefiles.h"
#include "platform/fs/paths.h"
#include "platform/uniquefd.h"

namespace platform {

namespace {

DWORD Result(DWORD error) {
  SetLastError(error);
  return error;
}

DWORD OpenError(int err) {
  switch (err) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EISDIR: return ERROR_DIRECTORY_NOT_SUPPORTED;
    default: return ErrorFromErrno(err);
  }
}

}  // namespace

bool IsHostNonRegularFile(const std::string& hostPath) {
  struct stat st {};
  return ::lstat(hostPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

DWORD ReadHostFile(std::string_view hostPath, std::string& bytes, std::size_t maxBytes) {
  bytes.clear();
  if (hostPath.empty()) return Result(ERROR_FILE_NOT_FOUND);
  if (hostPath.find('\0') != std::string_view::npos) return Result(ERROR_INVALID_NAME);
  const std::string path(hostPath);
  // Non-blocking, so that a pipe without a writer cannot hold the open; no
  // controlling terminal from a device named by mistake.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) return Result(OpenError(errno));
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return Result(ErrorFromErrno(errno));
  if (S_ISDIR(st.st_mode)) return Result(ERROR_DIRECTORY_NOT_SUPPORTED);
  if (!S_ISREG(st.st_mode)) return Result(ERROR_BAD_FILE_TYPE);
  if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > maxBytes) return Result(ERROR_FILE_TOO_LARGE);

  // The file may grow while it is read: read at most one byte past the cap
  // to notice, never more.
  bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
  std::size_t have = 0;
  for (;;) {
    if (have == bytes.size()) {
      if (have > maxBytes) {
        bytes.clear();
        return Result(ERROR_FILE_TOO_LARGE);
      }
      bytes.resize(std::min(maxBytes + 1, have * 2 + 4096));
    }
    ssize_t r = ::read(fd.get(), bytes.data() + have, bytes.size() - have);
    if (r < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      bytes.clear();
      return Result(err == EIO ? ERROR_READ_FAULT : ErrorFromErrno(err));
    }
    if (r == 0) break;
    have += static_cast<std::size_t>(r);
  }
  if (have > maxBytes) {
    bytes.clear();
    return Result(ERROR_FILE_TOO_LARGE);
  }
  bytes.resize(have);
  return Result(ERROR_SUCCESS);
}

DWORD ReadSystemFile(std::wstring_view path, std::string& bytes, std::size_t maxBytes) {
  bytes.clear();
  ImageLocation image;
  if (const ImageLookup lookup = LocateImagePath(path, image); lookup != ImageLookup::kNotImage)
    return lookup == ImageLookup::kFound ? ImageReadWholeFile(image, bytes, maxBytes) : Result(GetLastError());
  std::string host;
  if (!ResolvePath(path, host)) return Result(GetLastError());
  return ReadHostFile(host, bytes, maxBytes);
}

namespace {

// Fills bytes with the first count bytes (fewer at the end) that readSome
// gives: it returns how many it read, 0 at the end, or -1 with the error.
template <typename ReadSome>
DWORD ReadHead(std::string& bytes, std::size_t count, ReadSome readSome) {
  bytes.resize(count);
  std::size_t have = 0;
  while (have < count) {
    DWORD error = ERROR_SUCCESS;
    const std::int64_t r = readSome(bytes.data() + have, count - have, error);
    if (r < 0) {
      bytes.clear();
      return Result(error);
    }
    if (r == 0) break;
    have += static_cast<std::size_t>(r);
  }
  bytes.resize(have);
  return Result(ERROR_SUCCESS);
}

}  // namespace

DWORD ReadSystemFileHead(std::wstring_view path, std::string& bytes, std::size_t count) {
  bytes.clear();
  ImageLocation image;
  if (const ImageLookup lookup = LocateImagePath(path, image); lookup != ImageLookup::kNotImage) {
    if (lookup != ImageLookup::kFound) return Result(GetLastError());
    // An image drive's file: read through the image, as every reader does.
    FileReader reader;
    if (!reader.Open(path)) return Result(GetLastError());
    return ReadHead(bytes, count, [&reader](char* at, std::size_t n, DWORD& error) {
      const std::int64_t r = reader.Read(at, n);
      if (r < 0) error = GetLastError();
      return r;
    });
  }
  std::string host;
  if (!ResolvePath(path, host)) return Result(GetLastError());
  if (host.find('\0') != std::string::npos) return Result(ERROR_INVALID_NAME);
  UniqueFd fd(::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) return Result(OpenError(errno));
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return Result(ErrorFromErrno(errno));
  if (S_ISDIR(st.st_mode)) return Result(ERROR_DIRECTORY_NOT_SUPPORTED);
  if (!S_ISREG(st.st_mode)) return Result(ERROR_BAD_FILE_TYPE);
  return ReadHead(bytes, count, [&fd](char* at, std::size_t n, DWORD& error) -> std::int64_t {
    for (;;) {
      const ssize_t r = ::read(fd.get(), at, n);
      if (r >= 0) return r;
      if (errno == EINTR) continue;
      error = errno == EIO ? ERROR_READ_FAULT : ErrorFromErrno(errno);
      return -1;
    }
  });
}

const char* ReadFileErrorText(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS: return "read";
    case ERROR_FILE_NOT_FOUND: return "no such file";
    case ERROR_PATH_NOT_FOUND: return "a folder on its path is missing";
    case ERROR_ACCESS_DENIED: return "permission denied";
    case ERROR_NOT_READY: return "the drive is not ready";
    case ERROR_READ_FAULT: return "the medium failed while it was read";
    case ERROR_INVALID_NAME: return "the name holds a NUL character";
    case ERROR_BAD_FILE_TYPE: return "is a device, pipe or socket, not a file";
    case ERROR_FILE_TOO_LARGE: return "is larger than the program accepts";
    case ERROR_DIRECTORY_NOT_SUPPORTED: return "is a folder";
    case ERROR_FILENAME_EXCED_RANGE: return "the name is too long";
    case ERROR_NOT_ENOUGH_MEMORY: return "not enough memory to read it";
    default: return "cannot be read";
  }
}

DWORD ReadHostFileTail(const std::string& hostPath, std::string& bytes, std::size_t count) {
  bytes.clear();
  if (hostPath.empty()) return Result(ERROR_FILE_NOT_FOUND);
  if (hostPath.find('\0') != std::string::npos) return Result(ERROR_INVALID_NAME);
  UniqueFd fd(::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) return Result(OpenError(errno));  // a link: ELOOP
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return Result(ErrorFromErrno(errno));
  if (S_ISDIR(st.st_mode)) return Result(ERROR_DIRECTORY_NOT_SUPPORTED);
  if (!S_ISREG(st.st_mode)) return Result(ERROR_BAD_FILE_TYPE);
  const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
  const std::uint64_t from = size > count ? size - count : 0;
  bytes.resize(static_cast<std::size_t>(size - from));
  std::size_t have = 0;
  while (have < bytes.size()) {
    const ssize_t r = ::pread(fd.get(), bytes.data() + have, bytes.size() - have, static_cast<off_t>(from + have));
    if (r < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      bytes.clear();
      return Result(err == EIO ? ERROR_READ_FAULT : ErrorFromErrno(err));
    }
    if (r == 0) break;  // the file shrank meanwhile
    have += static_cast<std::size_t>(r);
  }
  bytes.resize(have);
  return Result(ERROR_SUCCESS);
}

}  // namespace platform
