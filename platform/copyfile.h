#pragma once
// The system's file copy with a progress routine.
//
// The routine is called once before the first byte (reason
// CALLBACK_STREAM_SWITCH) and then after every chunk (CALLBACK_CHUNK_FINISHED)
// with this file's total size and the bytes transferred so far. Chunks are at
// most 4 MiB, so progress arrives during a large file. PROGRESS_CANCEL (or a
// set *cancel flag) makes the copy fail with ERROR_REQUEST_ABORTED (1235) and
// removes the partial target; PROGRESS_STOP fails the same way. Existing
// targets are overwritten, read-only ones too, unless
// COPY_FILE_FAIL_IF_EXISTS. File times and permissions are kept. Failures
// come back as false with the last error set (112 disk full, 5 access denied,
// 2 file missing); nothing throws.

#include <cstdint>
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

using LPPROGRESS_ROUTINE = DWORD (*)(std::int64_t totalFileSize, std::int64_t totalBytesTransferred,
                                     std::int64_t streamSize, std::int64_t streamBytesTransferred,
                                     DWORD streamNumber, DWORD callbackReason, HANDLE sourceFile,
                                     HANDLE destinationFile, void* data);

// Chunk size between two progress calls.
inline constexpr std::uint64_t kCopyChunkBytes = 4ull * 1024 * 1024;

bool CopyFileEx(std::wstring_view from, std::wstring_view to, LPPROGRESS_ROUTINE progress, void* data,
                bool* cancel, DWORD flags);

}  // namespace platform
