#pragma once
// The product of a run as it reads back from its medium: a tree of files
// addressed by relative paths ("sources/boot.wim", '/' between components,
// matched without regard to case, as the system's file systems do).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace verify {

// Receives consecutive pieces of a file's content; false stops the read.
using ContentSink = std::function<bool(const unsigned char* data, std::size_t length)>;

enum class ReadStatus { Ok, Missing, Failed, Stopped };

class ProductTree {
 public:
  virtual ~ProductTree() = default;
  // Whether the product holds a regular file at the path.
  virtual bool HasFile(const std::string& relPath) const = 0;
  // Streams the file's content, read from the medium, into the sink.
  virtual ReadStatus ReadFile(const std::string& relPath, const ContentSink& sink) = 0;
};

// "Sources/Boot.WIM" -> "sources/boot.wim" (ASCII folding; the sample media
// and the system's upper-case table agree on it for the names that matter).
std::string FoldPath(const std::string& relPath);

}  // namespace verify
