#include "platform/fs/links.h"

#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/fs/paths.h"

namespace platform {

bool LinkStaysInside(std::wstring_view path, std::wstring_view root) {
  namespace fs = std::filesystem;
  std::string linkHost, rootHost;
  if (!ResolvePath(path, linkHost) || !ResolvePath(root, rootHost)) return false;
  std::error_code ec;
  const fs::path target = fs::canonical(linkHost, ec);
  if (ec) return false;
  const fs::path tree = fs::canonical(rootHost, ec);
  if (ec) return false;
  const auto [treeEnd, targetEnd] = std::mismatch(tree.begin(), tree.end(), target.begin(), target.end());
  (void)targetEnd;
  return treeEnd == tree.end();
}

}  // namespace platform
