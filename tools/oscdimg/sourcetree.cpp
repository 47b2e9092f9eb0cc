#include "tools/oscdimg/sourcetree.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <map>

namespace oscdimg {
namespace {

// Where a link leads, when that is inside the tree (rootPrefix ends in "/");
// empty for a link that leads nowhere or out of the tree.
std::string LinkTargetInside(const std::string& link, const std::string& rootPrefix) {
  char* real = realpath(link.c_str(), nullptr);
  const std::string target = real ? real : "";
  std::free(real);
  if (target.empty() || target.compare(0, rootPrefix.size(), rootPrefix) != 0) return {};
  return target;
}

bool ReadFolder(SourceNode* folder, const std::string& rootPrefix, SourceTree* tree, std::string* error) {
  DIR* dir = opendir(folder->hostPath.c_str());
  if (!dir) {
    *error = "cannot read the folder " + folder->hostPath + ": " + std::strerror(errno);
    return false;
  }
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());

  for (const std::string& name : names) {
    auto node = std::make_unique<SourceNode>();
    node->name = name;
    node->hostPath = folder->hostPath + "/" + name;
    struct stat link {};
    if (lstat(node->hostPath.c_str(), &link) != 0) {
      *error = "cannot read " + node->hostPath + ": " + std::strerror(errno);
      return false;
    }
    // A link is taken only when it leads to something inside the tree: the
    // image must hold nothing of the host beyond the folder it was given.
    if (S_ISLNK(link.st_mode) && LinkTargetInside(node->hostPath, rootPrefix).empty()) {
      std::fprintf(stderr, "oscdimg: warning: skipping %s (a link that leads nowhere or out of the source folder)\n",
                   node->hostPath.c_str());
      continue;
    }
    if (stat(node->hostPath.c_str(), &node->info) != 0) {
      *error = "cannot read " + node->hostPath + ": " + std::strerror(errno);
      return false;
    }
    if (S_ISDIR(node->info.st_mode)) {
      if (S_ISLNK(link.st_mode)) {
        std::fprintf(stderr, "oscdimg: warning: skipping %s (a link to a folder)\n", node->hostPath.c_str());
        continue;
      }
      node->isDir = true;
      ++tree->folders;
      if (!ReadFolder(node.get(), rootPrefix, tree, error)) return false;
    } else if (S_ISREG(node->info.st_mode)) {
      ++tree->files;
      tree->bytes += node->Size();
    } else {
      std::fprintf(stderr, "oscdimg: warning: skipping %s (not a file or folder)\n", node->hostPath.c_str());
      continue;
    }
    folder->children.push_back(std::move(node));
  }
  return true;
}

}  // namespace

bool ReadSourceTree(const std::string& hostFolder, SourceTree* tree, std::string* error) {
  *tree = SourceTree();
  auto root = std::make_unique<SourceNode>();
  // Absolute, because the image library takes files by absolute path.
  char* real = realpath(hostFolder.c_str(), nullptr);
  const std::string absolute = real ? real : "";
  std::free(real);
  if (absolute.empty() || stat(absolute.c_str(), &root->info) != 0 || !S_ISDIR(root->info.st_mode)) {
    *error = "the source folder " + hostFolder + " does not exist or is not a folder";
    return false;
  }
  root->hostPath = absolute == "/" ? "" : absolute;  // children are "<root>/<name>"
  root->isDir = true;
  if (!ReadFolder(root.get(), absolute == "/" ? "/" : absolute + "/", tree, error)) return false;
  tree->root = std::move(root);
  // Several names of one file (hard links, links to the same file) are one
  // file's data: the image stores it once in any case.
  std::map<std::pair<dev_t, ino_t>, const SourceNode*> firstName;
  for (SourceNode* file : FilesOf(*tree)) {
    auto [at, added] = firstName.emplace(std::make_pair(file->info.st_dev, file->info.st_ino), file);
    if (!added) file->sameAs = at->second;
  }
  return true;
}

std::vector<SourceNode*> FilesOf(const SourceTree& tree) {
  std::vector<SourceNode*> files;
  std::function<void(SourceNode*)> walk = [&](SourceNode* folder) {
    for (auto& child : folder->children) {
      if (child->isDir) walk(child.get());
      else files.push_back(child.get());
    }
  };
  if (tree.root) walk(tree.root.get());
  return files;
}

}  // namespace oscdimg
