#include "platform/dism/openwims.h"

#include <cstdint>
#include <map>

namespace platform::dism {

namespace {

constexpr int kWimOpenFailed = 47;  // wimlib's code for a file it cannot open

// The open WIM of each mount of this process, kept from the mount to the
// unmount so that its tables and the image's metadata are read once. An
// entry is used only while the file is as it was when it was opened.
struct CachedWim {
  std::unique_ptr<WimFile> wim;
  bool writable = false;
  std::string host;
  std::uint64_t size = 0;
  std::int64_t time = 0;
};
std::map<unsigned, CachedWim>& Cache() {
  static std::map<unsigned, CachedWim> cache;
  return cache;
}

}  // namespace

void RememberWim(unsigned id, std::unique_ptr<WimFile> wim, bool writable, const std::string& host) {
  CachedWim entry{std::move(wim), writable, host};
  if (FileStamp(host, entry.size, entry.time)) Cache()[id] = std::move(entry);
}

int OpenWimFor(const MountRecord& record, bool writable, WimFile*& out) {
  auto it = Cache().find(record.id);
  std::uint64_t size = 0;
  std::int64_t time = 0;
  const bool usable = it != Cache().end() && it->second.host == record.wimHost &&
                      (!writable || it->second.writable) && FileStamp(record.wimHost, size, time) &&
                      size == it->second.size && time == it->second.time;
  if (usable) {
    out = it->second.wim.get();
    return 0;
  }
  auto wim = std::make_unique<WimFile>();
  if (int rc = wim->Open(record.wimHost, writable)) return rc;
  out = wim.get();
  RememberWim(record.id, std::move(wim), writable, record.wimHost);
  if (Cache().find(record.id) == Cache().end()) return kWimOpenFailed;  // the file went away meanwhile
  return 0;
}

void ForgetWim(unsigned id) { Cache().erase(id); }

}  // namespace platform::dism
