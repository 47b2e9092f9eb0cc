#include "platform/image/isotree.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <set>
#include <vector>

#include "platform/text.h"

namespace platform::image {

namespace {

constexpr std::uint64_t kFirstDescriptor = 16;
constexpr int kMaxDescriptors = 64;
constexpr unsigned char kBootRecord = 0;
constexpr unsigned char kPrimary = 1;
constexpr unsigned char kSupplementary = 2;
constexpr unsigned char kTerminator = 255;
constexpr unsigned char kFlagFolder = 0x02;
constexpr unsigned char kFlagMoreExtents = 0x80;
constexpr std::size_t kRecordMin = 34;     // 33 bytes of header and a name byte
constexpr std::size_t kRootRecord = 156;   // in a volume descriptor
constexpr std::size_t kVolumeId = 40;
constexpr std::size_t kVolumeIdBytes = 32;
constexpr std::size_t kBlockSizeField = 128;
constexpr std::size_t kEscapes = 88;
constexpr std::size_t kCreated = 813;
constexpr std::size_t kCatalogField = 0x47;
constexpr std::size_t kCatalogEntry = 32;
constexpr int kCatalogBlocks = 4;
constexpr unsigned char kBootable = 0x88;
constexpr unsigned char kSectionHeader = 0x90;
constexpr unsigned char kLastSectionHeader = 0x91;

std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t Le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

// A folder record's 7-byte time: years since 1900, month, day, hour, minute,
// second, offset from GMT in quarter hours.
std::int64_t RecordTime(const unsigned char* p) {
  struct tm t {};
  t.tm_year = p[0];
  t.tm_mon = p[1] - 1;
  t.tm_mday = p[2];
  t.tm_hour = p[3];
  t.tm_min = p[4];
  t.tm_sec = p[5];
  if (p[1] < 1 || p[1] > 12 || p[2] < 1 || p[2] > 31 || p[3] > 23 || p[4] > 59 || p[5] > 60) return 0;
  const auto quarterHours = static_cast<signed char>(p[6]);
  return static_cast<std::int64_t>(timegm(&t)) - quarterHours * 15 * 60;
}

// A volume descriptor's 17-byte time: "YYYYMMDDHHMMSScc" and the offset.
std::int64_t DescriptorTime(const unsigned char* p) {
  int v[6];
  const int width[6] = {4, 2, 2, 2, 2, 2};
  const unsigned char* q = p;
  for (int i = 0; i < 6; ++i) {
    v[i] = 0;
    for (int k = 0; k < width[i]; ++k, ++q) {
      if (*q < '0' || *q > '9') return 0;
      v[i] = v[i] * 10 + (*q - '0');
    }
  }
  if (v[0] < 1900) return 0;
  const unsigned char seven[7] = {static_cast<unsigned char>(v[0] - 1900 > 255 ? 255 : v[0] - 1900),
                                  static_cast<unsigned char>(v[1]), static_cast<unsigned char>(v[2]),
                                  static_cast<unsigned char>(v[3]), static_cast<unsigned char>(v[4]),
                                  static_cast<unsigned char>(v[5]), p[16]};
  return RecordTime(seven);
}

std::string Utf8FromUcs2(const unsigned char* p, std::size_t n) {
  std::u16string u;
  for (std::size_t i = 0; i + 1 < n; i += 2) u.push_back(static_cast<char16_t>(p[i] << 8 | p[i + 1]));
  return AnsiFromWide(WideFromUtf16(u));
}

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

// "SETUP.EXE;1" -> "SETUP.EXE", "README.;1" -> "README": a primary name's
// dot separates a required extension. A Joliet name's trailing dot is its
// own (Windows cannot hold it: the name is refused rather than changed).
std::string PlainName(std::string name, bool joliet) {
  // The version is ';' and digits at the end; a ';' elsewhere is the name's.
  if (auto semi = name.rfind(';');
      semi != std::string::npos && name.find_first_not_of("0123456789", semi + 1) == std::string::npos)
    name.erase(semi);
  if (!joliet && name.size() > 1 && name.back() == '.') name.pop_back();
  return name;
}

struct Descriptors {
  bool primary = false;
  unsigned char primaryBlock[kBlockBytes];
  bool joliet = false;
  unsigned char jolietBlock[kBlockBytes];
  std::uint32_t catalog = 0;
};

bool ReadDescriptors(const ImageSource& image, Descriptors& d) {
  unsigned char block[kBlockBytes];
  for (int i = 0; i < kMaxDescriptors; ++i) {
    if (!image.ReadExact((kFirstDescriptor + static_cast<std::uint64_t>(i)) * kBlockBytes, block, kBlockBytes)) break;
    if (std::memcmp(block + 1, "CD001", 5) != 0) break;
    if (block[0] == kTerminator) break;
    if (block[0] == kPrimary && !d.primary) {
      d.primary = true;
      std::memcpy(d.primaryBlock, block, kBlockBytes);
    } else if (block[0] == kSupplementary && !d.joliet && block[kEscapes] == '%' && block[kEscapes + 1] == '/' &&
               (block[kEscapes + 2] == '@' || block[kEscapes + 2] == 'C' || block[kEscapes + 2] == 'E')) {
      d.joliet = true;
      std::memcpy(d.jolietBlock, block, kBlockBytes);
    } else if (block[0] == kBootRecord && std::memcmp(block + 7, "EL TORITO SPECIFICATION", 23) == 0) {
      d.catalog = Le32(block + kCatalogField);
    }
  }
  return d.primary;
}

class Walker {
 public:
  Walker(const ImageSource& image, Tree& tree, const ImageLimits& limits, bool joliet, std::string& error)
      : image_(image), tree_(tree), limits_(limits), joliet_(joliet), error_(error) {}

  bool Folder(std::uint32_t node, std::uint32_t lba, std::uint64_t length, int depth) {
    const std::string where = PathOf(tree_, node);
    if (depth > limits_.depth) return Fail("folders nest deeper than " + std::to_string(limits_.depth) + " at " + where);
    if (!visited_.insert(lba).second) return Fail("the folder " + where + " leads back to a folder read before");
    if (length > limits_.folderBytes) return Fail("the folder " + where + " is too large");
    allFolderBytes_ += length;
    if (allFolderBytes_ > limits_.allFolderBytes) return Fail("the folders together are too large");
    std::vector<unsigned char> records(static_cast<std::size_t>(length));
    if (!image_.ReadExact(static_cast<std::uint64_t>(lba) * kBlockBytes, records.data(), records.size()))
      return Fail("the folder " + where + " lies outside the image");

    struct Pending {
      std::uint32_t index;
      std::uint32_t lba;
      std::uint64_t length;
    };
    std::vector<Pending> folders;
    std::uint32_t continued = 0;  // a file whose next record adds an extent
    std::size_t pos = 0;
    while (pos < records.size()) {
      const std::size_t len = records[pos];
      if (len == 0) {  // the rest of this block is padding
        pos = (pos / kBlockBytes + 1) * kBlockBytes;
        continue;
      }
      const unsigned char* r = records.data() + pos;
      if (len < kRecordMin || pos + len > records.size() || pos / kBlockBytes != (pos + len - 1) / kBlockBytes)
        return Fail("a record of the folder " + where + " is damaged");
      const std::size_t nameLen = r[32];
      if (33 + nameLen > len) return Fail("a record of the folder " + where + " is damaged");
      pos += len;
      if (nameLen == 1 && (r[33] == 0 || r[33] == 1)) continue;  // the folder itself and its parent
      if (r[26] != 0 || r[27] != 0) return Fail("the folder " + where + " holds an interleaved file");
      const std::string raw = joliet_ ? Utf8FromUcs2(r + 33, nameLen) : std::string(reinterpret_cast<const char*>(r + 33), nameLen);
      const std::string name = PlainName(raw, joliet_);
      if (const std::string why = NameRefusal(where, name); !why.empty()) return Fail(why);
      const std::uint32_t extent = Le32(r + 2);
      const std::uint64_t size = Le32(r + 10);
      const bool folder = (r[25] & kFlagFolder) != 0;
      const bool more = (r[25] & kFlagMoreExtents) != 0;
      if (++entries_ > limits_.entries) return Fail("the image holds more than " + std::to_string(limits_.entries) + " entries");
      if (tree_.nameBytes + name.size() > limits_.nameBytes) return Fail("paths too long");

      if (continued != 0 && !folder && tree_.nodes[continued].name == name) {
        if (!AddExtent(continued, extent, r[1], size)) return false;
        continued = more ? continued : 0;
        continue;
      }
      continued = 0;
      Node child;
      child.name = name;
      child.folder = folder;
      child.mtime = RecordTime(r + 18);
      std::uint32_t index = 0;
      if (!AddChild(tree_, node, std::move(child), &index)) continue;  // the first of a name wins
      if (folder) {
        folders.push_back({index, extent, size});
      } else {
        if (!AddExtent(index, extent, r[1], size)) return false;
        if (more) continued = index;
      }
    }
    for (const Pending& f : folders)
      if (!Folder(f.index, f.lba, f.length, depth + 1)) return false;
    return true;
  }

 private:
  bool AddExtent(std::uint32_t index, std::uint32_t lba, unsigned char attributeBlocks, std::uint64_t size) {
    Node& file = tree_.nodes[index];
    const std::uint64_t offset = (static_cast<std::uint64_t>(lba) + attributeBlocks) * kBlockBytes;
    if (size > 0 && (offset > image_.Size() || size > image_.Size() - offset))
      return Fail("the file " + PathOf(tree_, index) + " lies outside the image");
    if (size > 0) file.extents.push_back({offset, size});
    file.size += size;
    return true;
  }

  bool Fail(const std::string& what) {
    error_ = what;
    return false;
  }

  const ImageSource& image_;
  Tree& tree_;
  const ImageLimits& limits_;
  bool joliet_;
  std::string& error_;
  std::set<std::uint32_t> visited_;
  std::uint64_t allFolderBytes_ = 0;
  std::uint32_t entries_ = 0;
};

}  // namespace

std::int64_t IsoRecordingTime(const ImageSource& image) {
  Descriptors d;
  return ReadDescriptors(image, d) ? DescriptorTime(d.primaryBlock + kCreated) : 0;
}

bool HasIso9660(const ImageSource& image) {
  Descriptors d;
  return ReadDescriptors(image, d);
}

bool ReadIsoTree(const ImageSource& image, Tree& tree, std::string& error, const ImageLimits& limits) {
  tree = Tree{};
  Descriptors d;
  if (!ReadDescriptors(image, d)) {
    error = "holds no ISO 9660 or UDF file system";
    return false;
  }
  const unsigned char* vd = d.joliet ? d.jolietBlock : d.primaryBlock;
  if (Le16(d.primaryBlock + kBlockSizeField) != kBlockBytes || Le16(vd + kBlockSizeField) != kBlockBytes) {
    error = "uses a block size other than 2048 bytes";
    return false;
  }
  tree.fileSystem = L"CDFS";
  tree.label = WideFromAnsi(Trimmed(std::string(reinterpret_cast<const char*>(d.primaryBlock + kVolumeId), kVolumeIdBytes)));
  if (tree.label.empty() && d.joliet)
    tree.label = WideFromAnsi(Trimmed(Utf8FromUcs2(d.jolietBlock + kVolumeId, kVolumeIdBytes)));
  tree.recorded = DescriptorTime(d.primaryBlock + kCreated);
  Node root;
  root.folder = true;
  root.mtime = tree.recorded;
  tree.nodes.push_back(std::move(root));
  const unsigned char* rootRecord = vd + kRootRecord;
  Walker walker(image, tree, limits, d.joliet, error);
  if (!walker.Folder(0, Le32(rootRecord + 2), Le32(rootRecord + 10), 0)) {
    tree = Tree{};
    return false;
  }
  return true;
}

int CountBootEntries(const ImageSource& image) {
  Descriptors d;
  if (!ReadDescriptors(image, d) || d.catalog == 0) return 0;
  std::vector<unsigned char> catalog(kCatalogBlocks * kBlockBytes);
  std::size_t have = catalog.size();
  while (have > 0 && !image.ReadExact(static_cast<std::uint64_t>(d.catalog) * kBlockBytes, catalog.data(), have))
    have -= kBlockBytes;
  // The validation entry, then the initial entry, then sections of entries.
  if (have < 2 * kCatalogEntry || catalog[0] != 1 || catalog[30] != 0x55 || catalog[31] != 0xAA) return 0;
  int count = catalog[kCatalogEntry] == kBootable ? 1 : 0;
  std::size_t pos = 2 * kCatalogEntry;
  while (pos + kCatalogEntry <= have) {
    const unsigned char header = catalog[pos];
    if (header != kSectionHeader && header != kLastSectionHeader) break;
    const std::size_t entries = Le16(&catalog[pos + 2]);
    pos += kCatalogEntry;
    for (std::size_t i = 0; i < entries && pos + kCatalogEntry <= have; ++i, pos += kCatalogEntry)
      if (catalog[pos] == kBootable) ++count;
    if (header == kLastSectionHeader) break;
  }
  return count;
}

}  // namespace platform::image
