#pragma once
// The image file being written. It exists under its final name while the
// tool writes (a tool that is terminated leaves what it wrote, as the
// system expects of it), and is removed again unless Commit() succeeds, so
// a failure the tool notices itself leaves no half-written image behind.

#include <cstddef>
#include <cstdint>
#include <string>

namespace oscdimg {

class TargetFile {
 public:
  TargetFile() = default;
  ~TargetFile();
  TargetFile(const TargetFile&) = delete;
  TargetFile& operator=(const TargetFile&) = delete;

  // Creates the file, which must not exist yet (nothing under its name is
  // truncated or followed). False with a message naming it.
  bool Open(const std::string& path, std::string* error);
  // False with a message when the file's volume has fewer than bytes free.
  bool CheckRoom(std::uint64_t bytes, std::string* error);
  // Writes all of data at an offset. False with a message (full disk, file
  // too large, I/O error); the file is then removed.
  bool WriteAt(const void* data, std::size_t size, std::uint64_t offset, std::string* error);
  // Reads back what was written (a check of the layout). False with a message.
  bool ReadAt(void* data, std::size_t size, std::uint64_t offset, std::string* error);
  // Writes the file out to its disk (fsync), closes it and keeps it. False
  // with a message when either reports a write error (the file is then
  // removed).
  bool Commit(std::string* error);

 private:
  bool Failed(const std::string& what, std::string* error);
  void Discard();

  std::string path_;
  int fd_ = -1;
  bool created_ = false;
};

}  // namespace oscdimg
