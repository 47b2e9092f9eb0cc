#include "platform/image/imagetree.h"

#include "platform/text.h"

namespace platform::image {

bool IsBadName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return true;
  return name.find_first_of(std::string("/\\\0", 3)) != std::string::npos;
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
  child.path = (parent == 0 ? std::string() : tree.nodes[parent].path) + "/" + child.name;
  tree.nodes.push_back(std::move(child));
  if (index) *index = at;
  return true;
}

}  // namespace platform::image
