#pragma once
// The owner of one host descriptor: closes it when it goes, moves, never
// copies. Close() is for callers that must know whether the close worked
// (a file just written: its last error can come only then).

#include <utility>

namespace platform {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(std::exchange(other.fd_, -1));
    return *this;
  }
  ~UniqueFd() { reset(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  [[nodiscard]] int release() { return std::exchange(fd_, -1); }
  // Closes what it holds (ignoring the result) and takes fd.
  void reset(int fd = -1);
  // Closes what it holds; false with errno set when the close reports an
  // error. The descriptor is gone either way.
  [[nodiscard]] bool Close();

 private:
  int fd_ = -1;
};

}  // namespace platform
