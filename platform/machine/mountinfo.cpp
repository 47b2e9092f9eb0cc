#include "platform/machine/mountinfo.h"

#include <fstream>
#include <sstream>

namespace platform {

namespace {

// mountinfo escapes blanks and a few other bytes as \ooo.
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size()) {
      int v = 0;
      bool ok = true;
      for (int k = 1; ok && k <= 3; ++k) {
        char c = s[i + k];
        if (c < '0' || c > '7') ok = false;
        else v = v * 8 + (c - '0');
      }
      if (ok) {
        out += static_cast<char>(v);
        i += 3;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

}  // namespace

std::vector<MountEntry> ReadMountTable(const std::string& file) {
  std::vector<MountEntry> out;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string id, parent, devno, root, mountPoint, options, field;
    if (!(ls >> id >> parent >> devno >> root >> mountPoint >> options)) continue;
    while (ls >> field && field != "-") {
    }
    MountEntry e;
    e.mountPoint = Unescape(mountPoint);
    if (!(ls >> e.fsType >> e.source)) continue;
    e.source = Unescape(e.source);
    out.push_back(e);
  }
  return out;
}

std::string HostFileSystemOf(const std::string& folder) {
  std::string best, type;
  for (const auto& e : ReadMountTable()) {
    const std::string& mp = e.mountPoint;
    bool inside = folder == mp || mp == "/" ||
                  (folder.size() > mp.size() && folder.compare(0, mp.size(), mp) == 0 && folder[mp.size()] == '/');
    if (inside && mp.size() >= best.size()) {
      best = mp;
      type = e.fsType;
    }
  }
  return type;
}

}  // namespace platform
