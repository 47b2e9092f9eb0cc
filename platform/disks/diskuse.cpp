#include "platform/disks/diskuse.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/machine/machine.h"

namespace platform::disks {

namespace fs = std::filesystem;

namespace {

// Places the running system cannot lose, whatever /etc/fstab says.
const char* const kSystemPlaces[] = {"/", "/boot", "/boot/efi", "/usr", "/var", "/home"};
constexpr std::size_t kMaxLine = 64 * 1024;  // longer lines of the host's tables are not ours to read
constexpr int kMaxDepth = 16;                // stacking deeper than this is not followed further

std::string DefaultRealPath(const std::string& path) {
  char buffer[PATH_MAX];
  return ::realpath(path.c_str(), buffer) ? std::string(buffer) : path;
}

std::string DefaultDeviceOf(const std::string& path, bool* isBlock) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  *isBlock = S_ISBLK(st.st_mode);
  const dev_t dev = *isBlock ? st.st_rdev : st.st_dev;
  return std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
}

// Mount tables escape blanks and backslashes as octal ("\040").
std::string Unescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1]))) {
      out.push_back(static_cast<char>(std::strtol(s.substr(i + 1, 3).c_str(), nullptr, 8)));
      i += 3;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

std::vector<std::string> Lines(const std::string& file) {
  std::vector<std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);)
    if (line.size() < kMaxLine) lines.push_back(line);
  return lines;
}

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

class Examiner {
 public:
  explicit Examiner(const HostView& host) : host_(host) {}

  DiskUse Run(const std::string& backing) {
    const std::string path = RealPath(backing);
    bool isBlock = false;
    const std::string id = DeviceOf(path, &isBlock);
    if (isBlock) {
      const fs::path node = SysNode(id);
      if (node.empty()) return Refuse("no such disk in the system (" + path + ")");
      if (fs::exists(node / "partition")) return Refuse(path + " is a partition, not a whole disk");
      Add(node);
    } else {
      image_ = path;
    }
    for (int depth = 0; depth < kMaxDepth && AddStackedLoops(); ++depth) {
    }
    if (!use_.refusal.empty()) return use_;
    CheckMounts();
    if (use_.refusal.empty()) CheckSwaps();
    use_.devices.assign(ids_.begin(), ids_.end());
    use_.mountedHere.assign(mounted_.begin(), mounted_.end());
    std::sort(use_.mounts.begin(), use_.mounts.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    return use_;
  }

 private:
  std::string RealPath(const std::string& p) const { return host_.realPath ? host_.realPath(p) : DefaultRealPath(p); }
  std::string DeviceOf(const std::string& p, bool* isBlock) const {
    *isBlock = false;
    return host_.deviceOf ? host_.deviceOf(p, isBlock) : DefaultDeviceOf(p, isBlock);
  }
  fs::path SysNode(const std::string& id) const {
    std::error_code ec;
    fs::path node = fs::canonical(fs::path(host_.sys) / "dev/block" / id, ec);
    return ec ? fs::path() : node;
  }
  DiskUse Refuse(const std::string& why) {
    if (use_.refusal.empty()) use_.refusal = why;
    return use_;
  }

  // Adds a device node and its partitions; a holder of any is a refusal.
  void Add(const fs::path& node) {
    const std::string id = FirstLine(node / "dev");
    if (id.empty() || !ids_.insert(id).second) return;
    std::error_code ec;
    for (const auto& holder : fs::directory_iterator(node / "holders", ec))
      Refuse("it is held by " + holder.path().filename().string() + " (a mapped, RAID or volume-group device)");
    for (const auto& child : fs::directory_iterator(node, ec))
      if (child.is_directory(ec) && fs::exists(child.path() / "partition")) Add(child.path());
  }

  // Loop devices over a file on the tree (or over the disk image itself);
  // true when one was added.
  bool AddStackedLoops() {
    bool added = false;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(host_.sys) / "block", ec)) {
      const fs::path node = fs::canonical(entry.path(), ec);
      if (ec) continue;
      std::string file = FirstLine(node / "loop/backing_file");
      if (file.empty() || ids_.count(FirstLine(node / "dev"))) continue;
      const std::string kDeleted = " (deleted)";
      if (file.size() > kDeleted.size() && file.ends_with(kDeleted)) file.resize(file.size() - kDeleted.size());
      bool isBlock = false;
      const std::string real = RealPath(file);
      const std::string id = DeviceOf(real, &isBlock);
      if ((!image_.empty() && real == image_) || (!id.empty() && ids_.count(id))) {
        Add(node);
        added = true;
      }
    }
    return added;
  }

  bool IsSystemPlace(const std::string& point) {
    for (const char* place : kSystemPlaces)
      if (point == place) return true;
    if (fstabPoints_.empty()) {
      fstabPoints_.insert("");  // read once
      for (const std::string& line : Lines(host_.fstab)) {
        std::istringstream in(line);
        std::string source, mountPoint;
        if (in >> source >> mountPoint && source[0] != '#' && mountPoint[0] == '/')
          fstabPoints_.insert(Unescape(mountPoint));
      }
    }
    if (fstabPoints_.count(point)) return true;
    std::string program = host_.programFolder.empty() ? fs::path(RealPath("/proc/self/exe")).parent_path().string()
                                                      : host_.programFolder;
    return !program.empty() && (program == point || program.rfind(point + "/", 0) == 0);
  }

  void CheckMounts() {
    for (const std::string& line : Lines(host_.mountInfo)) {
      // "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw"
      std::istringstream in(line);
      std::string mountId, parentId, id, root, point;
      if (!(in >> mountId >> parentId >> id >> root >> point)) continue;
      const std::size_t dash = line.find(" - ");
      std::string source;
      if (dash != std::string::npos) {
        std::istringstream tail(line.substr(dash + 3));
        std::string type;
        tail >> type >> source;
      }
      source = Unescape(source);
      point = Unescape(point);
      bool ours = ids_.count(id) > 0;
      if (ours) mounted_.insert(id);
      if (!ours && source.rfind("/", 0) == 0) {
        // A user-space file system shows an anonymous number: its source
        // names the device.
        bool isBlock = false;
        const std::string sourceId = DeviceOf(RealPath(source), &isBlock);
        ours = isBlock && ids_.count(sourceId) > 0;
        if (ours) mounted_.insert(sourceId);
      }
      if (!ours && line.find(" - fuse") != std::string::npos) ours = DaemonDeviceIsOurs(point, MountOwner(line));
      if (!ours) continue;
      if (IsSystemPlace(point)) {
        Refuse("the running system (" + point + ")");
        return;
      }
      use_.mounts.push_back(point);
    }
  }

  // "user_id=N" of a FUSE mount's options; -1 when missing.
  static long MountOwner(const std::string& line) {
    const std::size_t at = line.find("user_id=", line.find(" - "));
    return at == std::string::npos ? -1 : std::strtol(line.c_str() + at + 8, nullptr, 10);
  }

  // Whether the daemon of a FUSE mount (a process of the mount's owner whose
  // arguments name the mount point) has a device of the tree among them.
  bool DaemonDeviceIsOurs(const std::string& point, long owner) {
    if (owner < 0) return false;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(host_.proc, ec)) {
      const std::string pid = entry.path().filename().string();
      if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
      struct stat st {};
      if (::stat(entry.path().c_str(), &st) != 0 || static_cast<long>(st.st_uid) != owner) continue;
      std::ifstream in(entry.path() / "cmdline", std::ios::binary);
      std::vector<std::string> args;
      for (std::string arg; std::getline(in, arg, '\0') && args.size() < 64;) args.push_back(arg);
      if (std::find(args.begin(), args.end(), point) == args.end()) continue;
      for (const std::string& arg : args) {
        if (arg.rfind("/", 0) != 0 || arg == point) continue;
        bool isBlock = false;
        const std::string id = DeviceOf(RealPath(arg), &isBlock);
        if (isBlock && ids_.count(id)) return true;
      }
    }
    return false;
  }

  void CheckSwaps() {
    std::vector<std::string> lines = Lines(host_.swaps);
    for (std::size_t i = 1; i < lines.size(); ++i) {  // the first line is the header
      std::istringstream in(lines[i]);
      std::string name;
      if (!(in >> name)) continue;
      name = Unescape(name);
      bool isBlock = false;
      const std::string id = DeviceOf(RealPath(name), &isBlock);
      if (!id.empty() && ids_.count(id)) {
        Refuse("active swap (" + name + ")");
        return;
      }
    }
  }

  const HostView& host_;
  std::set<std::string> ids_;
  std::set<std::string> fstabPoints_;
  std::set<std::string> mounted_;
  std::string image_;
  DiskUse use_;
};

}  // namespace

DiskUse ExamineDisk(const std::string& backing, const HostView& host) { return Examiner(host).Run(backing); }

std::vector<std::string> OtherMountsOfDisk(int disk) {
  auto decl = CurrentMachine().Disk(disk);
  if (!decl || decl->Backing().empty()) return {};
  DiskUse use = ExamineDisk(decl->Backing());
  const std::string own = CurrentMachine().Prefix() + "/volumes/";
  std::erase_if(use.mounts, [&](const std::string& point) { return point.rfind(own, 0) == 0; });
  return use.mounts;
}

}  // namespace platform::disks
