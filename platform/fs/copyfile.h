#pragma once
// The system's file copy with a progress routine.
//
// The routine receives this file's total size and the bytes transferred so
// far (the stream fields repeat them for the one data stream), the reason,
// the two open handles and the caller's data. It is called once before the
// first byte (CALLBACK_STREAM_SWITCH, 0 bytes transferred) and then after
// every chunk (CALLBACK_CHUNK_FINISHED). A chunk is kCopyChunkBytes, only the
// last chunk of a file may be shorter, so a large file reports progress
// while it is copied.
//
// PROGRESS_CANCEL or PROGRESS_STOP (or a set *cancel flag) makes the copy
// fail with ERROR_REQUEST_ABORTED (1235) and removes the partial target;
// PROGRESS_QUIET ends the calls for this file. Existing targets are
// overwritten, read-only ones too, unless COPY_FILE_FAIL_IF_EXISTS (then 80);
// an existing target that is a link is replaced, never written through.
// File times and permissions are kept. A source that is shorter at its end
// than when it was opened fails with ERROR_HANDLE_EOF (38). Failures come
// back as false with the last error set (112 disk full, 5 access denied, 2
// file missing, 3 target folder missing, 222 a source that is a device or a
// pipe rather than a file) and a partial target removed;
// nothing throws. The data goes through the kernel's copy call where the file
// systems allow it, else through one reused 1 MiB buffer per thread; no file
// is held in memory. Any thread may copy; a copy runs on the caller's thread.
//
// A copy is not flushed: its data may still be in the page cache when it
// returns. A caller whose copies must reach a medium (a whole tree onto a
// USB stick) opens a VolumeWriteWatch before the first file and flushes
// through it once after the last.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform {

using HANDLE = void*;

inline constexpr DWORD PROGRESS_CONTINUE = 0;
inline constexpr DWORD PROGRESS_CANCEL = 1;
inline constexpr DWORD PROGRESS_STOP = 2;
inline constexpr DWORD PROGRESS_QUIET = 3;

inline constexpr DWORD CALLBACK_CHUNK_FINISHED = 0;
inline constexpr DWORD CALLBACK_STREAM_SWITCH = 1;

inline constexpr DWORD COPY_FILE_FAIL_IF_EXISTS = 0x1;
// A source that is a symbolic link is copied as a link to the same place,
// without progress calls; without the flag the copy reads what it points to.
inline constexpr DWORD COPY_FILE_COPY_SYMLINK = 0x800;

using LPPROGRESS_ROUTINE = DWORD (*)(std::int64_t totalFileSize, std::int64_t totalBytesTransferred,
                                     std::int64_t streamSize, std::int64_t streamBytesTransferred,
                                     DWORD streamNumber, DWORD callbackReason, HANDLE sourceFile,
                                     HANDLE destinationFile, void* data);

// Bytes between two progress calls.
inline constexpr std::uint64_t kCopyChunkBytes = 4ull * 1024 * 1024;

[[nodiscard]] bool CopyFileEx(std::wstring_view from, std::wstring_view to, LPPROGRESS_ROUTINE progress, void* data,
                bool* cancel, DWORD flags);

// Watches the file system that holds `path` (a folder or file of any
// drive; when it does not exist yet, the nearest folder above it that does)
// for writes that never reach the medium, from the moment it is made. The
// kernel (5.8 on) reports a write-back error to a flush only when it
// happened after the descriptor the flush is given was opened, and the
// page cache writes a long copy back while it runs: a watch opened before
// the first write, flushed after the last, sees every loss in between,
// where a flush that opens its volume at the end misses what the kernel
// wrote back (and lost) before it.
class VolumeWriteWatch {
 public:
  explicit VolumeWriteWatch(std::wstring_view path);
  ~VolumeWriteWatch();
  VolumeWriteWatch(const VolumeWriteWatch&) = delete;
  VolumeWriteWatch& operator=(const VolumeWriteWatch&) = delete;

  // Writes out everything written to the file system and waits for it: true
  // once the medium has it. False with the last error set when the file
  // system reports data lost since the watch was made (ERROR_WRITE_FAULT),
  // or when the path could not be opened. A file system that cannot be
  // flushed (EINVAL, EROFS) has nothing to report. Where a flusher of the
  // devices below a volume is installed (SetVolumeDeviceFlusher), it runs
  // after the file system's own flush.
  [[nodiscard]] bool Flush();

 private:
  std::string host_;
  int fd_ = -1;
  DWORD openError_ = 0;
};

// A watch made and flushed at once: sees losses from now on only.
[[nodiscard]] bool FlushVolume(std::wstring_view path);

// Flushes the devices a mounted volume stands on (its loop device, its disk),
// given a host path on it; true when the path is on no such volume. False
// with the last error set when one of them reports lost data.
using VolumeDeviceFlusher = bool (*)(const std::string& hostPath);
void SetVolumeDeviceFlusher(VolumeDeviceFlusher flusher);

// Fault injection for tests: makes a copy fail where a real machine would (a
// full disk, an unreadable medium) or lets a test act at a precise moment of
// a copy (shrink the source, remove the target folder). The program never
// installs a hook; without one the copy pays a single atomic load per chunk.
namespace copyfault {

enum class Point {
  kOpenSource,  // before the source is opened; index 1
  kRead,        // before each chunk is read, index 1, 2, ... within the file
  kWrite,       // before each chunk is written, index as for kRead
  kFlushVolume, // before FlushVolume flushes; index 1, targetHost the path
};

struct Event {
  Point point;
  std::string sourceHost;  // host path of the file being copied
  std::string targetHost;
  std::uint64_t index;
};

// Returns an errno value to fail that step with, 0 to let it go on.
using Hook = std::function<int(const Event&)>;

// Installs the hook for its lifetime (one at a time, process-wide); the hook
// runs on the copying thread.
class ScopedHook {
 public:
  explicit ScopedHook(Hook hook);
  ~ScopedHook();
  ScopedHook(const ScopedHook&) = delete;
  ScopedHook& operator=(const ScopedHook&) = delete;

 private:
  Hook hook_;
};

}  // namespace copyfault

}  // namespace platform
