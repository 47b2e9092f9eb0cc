#pragma once
// The file tree of a disc image, read once when the image is opened: names,
// sizes, times and where each file's bytes lie in the image. Filled by the
// ISO 9660 reader (isotree.h) or the UDF reader (udftree.h); every walk that
// fills it is bounded by ImageLimits, so a damaged or hostile image ends in
// an error, never in a hang or unbounded memory.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace platform::image {

inline constexpr std::uint64_t kBlockBytes = 2048;

// A run of a file's bytes: `length` bytes from `offset` in the image.
struct Extent {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

struct Node {
  std::string name;           // UTF-8 as recorded, without ISO 9660's ";1"
  std::uint32_t parent = 0;   // the folder holding it (the root: itself)
  bool folder = false;
  std::uint64_t size = 0;
  std::int64_t mtime = 0;     // seconds since 1970 (UTC)
  std::vector<Extent> extents;        // ISO 9660 files; UDF files are read by path
  std::map<std::wstring, std::uint32_t> children;  // folded name -> node index
};

// What the walks accept. Windows 7 media hold about a thousand entries a few
// folders deep; these are far above any installation medium and far below
// what costs real memory or time.
struct ImageLimits {
  int depth = 64;                               // folders below the root
  std::uint32_t entries = 1u << 18;             // files and folders in all
  std::uint64_t folderBytes = 32ull << 20;      // one ISO 9660 folder's records
  std::uint64_t allFolderBytes = 64ull << 20;   // all of them together
  std::uint64_t nameBytes = 16ull << 20;        // all names together ("paths too long")
};

struct Tree {
  std::vector<Node> nodes;    // nodes[0] is the root
  std::wstring label;         // the volume's own label
  std::wstring fileSystem;    // "UDF" or "CDFS"
  std::int64_t recorded = 0;  // the image's recording time
  std::uint64_t nameBytes = 0;  // the names' bytes, as AddChild counts them
};

// A node's path as the image spells it ("/sources/boot.wim"; "/" for the
// root), made from its folders' names.
std::string PathOf(const Tree& tree, std::uint32_t index);

// A name no file system of the system could hold: empty, ".", "..", or
// holding '/', '\' or NUL.
bool IsBadName(const std::string& name);

// Why an entry's name is refused, or empty: IsBadName's names, and those
// Windows cannot hold (platform/windowsname.h), shown printable. where: the
// folder's path.
std::string NameRefusal(const std::string& where, const std::string& name);

// The name folded for lookups without regard to case.
std::wstring FoldedName(const std::string& utf8);
std::wstring Folded(std::wstring wide);

// Adds child to parent's index; false when the folded name is taken (the
// first entry of a name wins).
bool AddChild(Tree& tree, std::uint32_t parent, Node child, std::uint32_t* index = nullptr);

}  // namespace platform::image
