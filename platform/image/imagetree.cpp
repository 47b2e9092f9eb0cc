#include "platform/image/imagetree.h"

#include <algorithm>

#include "platform/text.h"
#include "platform/windowsname.h"

namespace platform::image {

bool IsBadName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return true;
  return name.find_first_of(std::string("/\\\0", 3)) != std::string::npos;
}

std::string NameRefusal(const std::string& where, const std::string& name) {
  if (IsBadName(name)) return "the folder " + where + " holds an entry whose name no file can have";
  if (!WindowsCanHoldName(name))
    return "the folder " + where + " holds an entry whose name Windows cannot hold: " + PrintableName(name);
  return {};
}

std::string PathOf(const Tree& tree, std::uint32_t index) {
  std::vector<const std::string*> names;
  // Parents come before their children, so the walk up ends at the root.
  while (index != 0 && index < tree.nodes.size() && names.size() < tree.nodes.size()) {
    names.push_back(&tree.nodes[index].name);
    const std::uint32_t parent = tree.nodes[index].parent;
    if (parent >= index) break;
    index = parent;
  }
  if (names.empty()) return "/";
  std::string path;
  for (auto it = names.rbegin(); it != names.rend(); ++it) path += "/" + **it;
  return path;
}

std::wstring Folded(std::wstring wide) {
  for (wchar_t& c : wide) c = FoldCase(c);
  return wide;
}

std::wstring FoldedName(const std::string& utf8) { return Folded(WideFromAnsi(utf8)); }

bool AddChild(Tree& tree, std::uint32_t parent, Node child, std::uint32_t* index) {
  const std::wstring key = FoldedName(child.name);
  const auto at = static_cast<std::uint32_t>(tree.nodes.size());
  if (!tree.nodes[parent].children.emplace(key, at).second) return false;
  child.parent = parent;
  tree.nameBytes += child.name.size();
  tree.nodes.push_back(std::move(child));
  if (index) *index = at;
  return true;
}

}  // namespace platform::image
