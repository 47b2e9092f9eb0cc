#pragma once
// Reads one file by system path from its start to its end, on any drive:
// a host folder's file through a descriptor, an image drive's file from the
// image. For readers above the layer that compare or hash a medium's files
// without asking where they live. Not thread-safe; one reader per object.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/types.h"

namespace platform {

class FileReader {
 public:
  FileReader();
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // False with the last error set: 2/3 missing, 5 a folder, 222 a device or
  // pipe, 21 a drive without medium.
  [[nodiscard]] bool Open(std::wstring_view path);
  std::uint64_t Size() const;
  // Up to n next bytes: 0 at the end, -1 (last error set) on failure.
  std::int64_t Read(void* buffer, std::size_t n);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
