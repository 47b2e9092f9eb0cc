#pragma once
// Shared by the copy tests: test machines with a source and a target drive,
// folder snapshots, the trace log's text and a window that records what the
// copy posts.

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "disk/appfolders.h"
#include "disk/tracelog.h"
#include "platform/fs/paths.h"
#include "platform/windows/window.h"
#include "testmachine.h"

namespace copytest {

namespace fs = std::filesystem;

inline constexpr std::uint64_t kMiB = 1024 * 1024;

inline kxtest::DriveSpec Drive(char letter, const std::string& type = "fixed") {
  kxtest::DriveSpec d;
  d.letter = letter;
  d.type = type;
  return d;
}

// Distinct bytes per file, so a mixed-up copy shows.
inline std::string Pattern(std::uint64_t bytes, char seed = 'a') {
  std::string s(bytes, '\0');
  for (std::uint64_t i = 0; i < bytes; ++i) s[i] = static_cast<char>(seed + (i * 7 + i / 4093) % 26);
  return s;
}

// Every file below root (relative path with '/', content) and every folder
// (relative path ending in '/', empty content).
inline std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    std::string rel = fs::relative(it->path(), root).generic_string();
    if (it->is_directory()) out[rel + "/"] = "";
    else out[rel] = kxtest::ReadHostFile(it->path());
  }
  return out;
}

inline bool IsEmptyFolder(const fs::path& p) { return fs::is_directory(p) && fs::is_empty(p); }

// Makes the data folder of the current machine, where the trace log goes.
inline void PrepareTraceLog() { GetAppDataFolder(); }

inline std::string TraceText() {
  std::string host;
  if (!platform::ResolvePath(TraceLogPath(), host)) return {};
  return kxtest::ReadHostFile(host);
}

// The trace lines without their time stamps.
inline std::vector<std::string> TraceLines() {
  std::vector<std::string> lines;
  std::string text = TraceText();
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    size_t space = line.find(' ');
    lines.push_back(space == std::string::npos ? line : line.substr(space + 1));
    pos = end + 2;
  }
  return lines;
}

// True when `wanted` appear in this order among `lines` (others may lie between).
inline bool InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& wanted) {
  size_t w = 0;
  for (const auto& l : lines)
    if (w < wanted.size() && l == wanted[w]) ++w;
  return w == wanted.size();
}

struct Posted {
  platform::UINT message;
  platform::WPARAM wParam;
  platform::LPARAM lParam;
  bool operator==(const Posted&) const = default;
};

inline void PrintTo(const Posted& p, std::ostream* os) {
  *os << "{" << p.message << ", " << p.wParam << ", " << p.lParam << "}";
}

// A window that records what is posted to it, from any thread, and lets a
// test act as each message arrives (as a user clicking Cancel would).
class RecordingWindow final : public platform::Window {
 public:
  std::function<void(const Posted&)> onPost;

  bool Post(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam) override {
    Posted p{message, wParam, lParam};
    {
      std::lock_guard lock(mutex_);
      posted_.push_back(p);
    }
    if (onPost) onPost(p);
    return true;
  }
  platform::LRESULT Send(platform::UINT, platform::WPARAM, platform::LPARAM) override { return 0; }

  std::vector<Posted> posted() const {
    std::lock_guard lock(mutex_);
    return posted_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Posted> posted_;
};

}  // namespace copytest
